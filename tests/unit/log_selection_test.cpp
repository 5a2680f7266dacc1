#include "logs/log_selection.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "tests/support/argv.h"

namespace {

struct Row {
    std::vector<std::string> arguments;
    bool valid;
    LogType type;
    const char* text;    // expected text-log name, null for the console
    const char* timing;  // expected timing-log name
};

std::string Show(const char* name) {
    return name != nullptr ? name : "<console>";
}

TEST(LogSelection, DecisionTable) {
    const Row rows[] = {
        {{"dump"}, true, LogType::Text, nullptr, nullptr},
        {{"dump", "text"}, true, LogType::Text, nullptr, nullptr},
        {{"dump", "Text", "a.log"}, true, LogType::Text, "A.LOG", nullptr},
        {{"dump", "text", "a.log", "b.bin"}, true, LogType::Text, nullptr, nullptr},
        {{"dump", "timing"}, false, LogType::Text, nullptr, nullptr},
        {{"dump", "TIMING", "t.bin"}, true, LogType::Timing, nullptr, "T.BIN"},
        {{"dump", "timing", "t.bin", "x"}, false, LogType::Text, nullptr, nullptr},
        {{"dump", "both"}, false, LogType::Text, nullptr, nullptr},
        {{"dump", "both", "t.bin"}, true, LogType::Both, nullptr, "T.BIN"},
        {{"dump", "both", "a.log", "t.bin"}, true, LogType::Both, "A.LOG", "T.BIN"},
        {{"dump", "both", "a", "b", "c"}, false, LogType::Text, nullptr, nullptr},
        {{"dump", "a.log"}, true, LogType::Text, "A.LOG", nullptr},
        {{"dump", "a.log", "b.bin"}, false, LogType::Text, nullptr, nullptr},
        {{"capture", "-d", "both", "t.bin"}, true, LogType::Both, nullptr, "T.BIN"},
        {{"dump", "both", "-a.log", "t.bin"}, true, LogType::Both, nullptr, "T.BIN"},
        {{"dump", ""}, true, LogType::Text, "", nullptr},
    };
    for (const Row& row : rows) {
        Argv args(row.arguments);
        const CommandLine line(args.argc(), args.argv());
        LogSelection selection;
        const bool valid = ParseLogSelection(line, &selection) != 0;
        std::string words;
        for (const std::string& word : row.arguments) {
            words += word + " ";
        }
        ASSERT_EQ(valid, row.valid) << words;
        if (!valid) {
            continue;
        }
        EXPECT_EQ(selection.logType, row.type) << words;
        EXPECT_EQ(Show(selection.textLogName), Show(row.text)) << words;
        EXPECT_EQ(Show(selection.timingLogName), Show(row.timing)) << words;
        EXPECT_EQ(WantsTimingLog(selection), selection.timingLogName != nullptr) << words;
    }
}

// Two names of one file are refused however they are spelled, whether the file exists
// yet or not; two files are not one file.
TEST(LogSelection, OneFileUnderTwoNames) {
    const char* const first = "LOG_SELECTION_TEST_1.TMP";
    const char* const second = "LOG_SELECTION_TEST_2.TMP";
    const char* const absent = "LOG_SELECTION_TEST_3.TMP";
    for (const char* name : {first, second}) {
        std::FILE* file = std::fopen(name, "w");
        ASSERT_NE(file, nullptr) << name;
        std::fclose(file);
    }
    std::remove(absent);
    const auto oneFile = [](const char* text, const char* timing) {
        LogSelection selection;
        selection.logType = LogType::Both;
        selection.textLogName = text;
        selection.timingLogName = timing;
        return NamesOneFileTwice(selection) != 0;
    };
    for (const char* name : {first, absent}) {
        const std::string dotted = std::string("./") + name;
        const std::string climbed = std::string("NO_SUCH_FOLDER/../") + name;
        EXPECT_TRUE(oneFile(name, name)) << name;
        EXPECT_TRUE(oneFile(dotted.c_str(), name)) << name;
        EXPECT_TRUE(oneFile(name, climbed.c_str())) << name;
#ifdef _WIN32
        // Windows drops trailing dots and spaces, and ignores letter case.
        const std::string trailing = std::string(name) + ". ";
        const std::string backslashed = std::string(".\\") + name;
        std::string lower = name;
        for (char& c : lower) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        EXPECT_TRUE(oneFile(trailing.c_str(), name)) << name;
        EXPECT_TRUE(oneFile(backslashed.c_str(), name)) << name;
        EXPECT_TRUE(oneFile(lower.c_str(), name)) << name;
#endif
    }
    EXPECT_FALSE(oneFile(first, second));
    EXPECT_FALSE(oneFile(first, absent));
    EXPECT_FALSE(oneFile(nullptr, first));  // the text log goes to the console
    std::remove(first);
    std::remove(second);
}

}  // namespace
