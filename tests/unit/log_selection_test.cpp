#include "logs/log_selection.h"

#include <gtest/gtest.h>

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

}  // namespace
