// quorvin-check run as a user runs it, on Linux and under Wine: what it prints for
// generated files (the offsets and kinds of the reference framer), files at the edges,
// files that cannot be read, its usage, and its exit statuses.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include "checkfile/check_texts.h"
#include "tests/support/reference_framer.h"
#include "tests/support/timing_stream.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using Kind = ReferenceFramer::Kind;

struct CheckRun {
    int status;
    std::string out;
    std::string err;
};

std::string ReadText(const fs::path& path) {
    std::ifstream in(path);  // text mode: CR LF reads as LF on Windows
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

#ifdef _WIN32
std::string Quoted(const std::string& argument) {
    std::string quoted(1, '"');
    quoted.append(argument).push_back('"');
    return quoted;
}
std::string Program() {
    std::string path = QUORVIN_CHECK_EXE;  // the build's path, on the current drive
    for (char& c : path) {
        c = c == '/' ? '\\' : c;
    }
    return path;
}
int StatusOf(int result) {
    return result;
}
#else
std::string Quoted(const std::string& argument) {
    std::string quoted = "'";
    for (char c : argument) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}
std::string Program() {
    return Quoted(QUORVIN_CHECK_EXE);
}
int StatusOf(int result) {
    return WIFEXITED(result) ? WEXITSTATUS(result) : -1;
}
#endif

class CheckFileE2e : public testing::Test {
protected:
    void SetUp() override {
        const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
        // Below the build folder; in the platform's own spelling, for the command prompt.
        folder_ = (fs::path(QUORVIN_TEST_FILES) / test->name()).make_preferred();
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }

    // Writes a file in the test's folder and returns its name there.
    std::string Write(const std::string& name, const Bytes& bytes) {
        std::ofstream out(folder_ / name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        return Path(name);
    }
    std::string Path(const std::string& name) const { return (folder_ / name).string(); }

    // inFolder: run in the test's folder, where the names given are its files' own.
    CheckRun Check(const std::vector<std::string>& arguments,
                   const std::string& stdoutTo = std::string(), bool inFolder = false) {
        std::string command = inFolder ? "cd " + Quoted(folder_.string()) + " && " : "";
        command += Program();
        for (const std::string& argument : arguments) {
            command.append(" ").append(Quoted(argument));
        }
        const fs::path out = fs::absolute(folder_ / "stdout.txt");
        const fs::path err = fs::absolute(folder_ / "stderr.txt");
        command.append(" >").append(Quoted(stdoutTo.empty() ? out.string() : stdoutTo));
        command.append(" 2>").append(Quoted(err.string()));
        const int status = StatusOf(std::system(command.c_str()));
        return {status, stdoutTo.empty() ? ReadText(out) : std::string(), ReadText(err)};
    }

private:
    fs::path folder_;
};

std::string Offset(uint64_t offset) {
    std::ostringstream text;
    text << offset << " (0x" << std::uppercase << std::hex << offset << ")";
    return text.str();
}

// What quorvin-check must print for a file, from the reference framer given it whole.
std::string ExpectedReport(const std::string& name, const Bytes& bytes, int* status) {
    ReferenceFramer reference;
    reference.AddBlock(bytes.data(), bytes.size());
    std::ostringstream text;
    uint64_t records = 0;
    uint64_t badLength = 0;
    uint64_t noNextSync = 0;
    for (const ReferenceFramer::Framed& framed : reference.Framings()) {
        if (framed.kind == Kind::Record) {
            ++records;
            continue;
        }
        const bool bad = framed.kind == Kind::BadLength;
        ++(bad ? badLength : noNextSync);
        text << name << ": offset " << Offset(framed.offset) << ": "
             << (bad ? "length byte above 12" : "record not followed by a sync word") << "\n";
    }
    const size_t start = reference.CutOffAtEnd();
    if (start < bytes.size()) {
        text << name << ": offset " << Offset(start) << ": record cut off by the end of the file, "
             << bytes.size() - start << " bytes\n";
    }
    const size_t skipped = reference.Framings().empty() ? start : reference.Framings()[0].offset;
    const bool noTimingLog = (!bytes.empty() && records == 0) || skipped > 25;
    if (!bytes.empty() && records == 0) {
        text << name << ": no timing record found\n";
    } else if (skipped > 25) {
        text << name << ": " << skipped
             << " bytes before the first record, more than a cut record leaves (25)\n";
    }
    text << "summary size=" << bytes.size() << " records=" << records
         << " skipped_at_start=" << skipped << " errors=" << badLength + noNextSync
         << " bad_length=" << badLength << " no_next_sync=" << noNextSync
         << " incomplete_at_end=" << bytes.size() - start << " file=" << name << "\n";
    *status = std::max(*status, badLength + noNextSync > 0 || noTimingLog ? 1 : 0);
    return text.str();
}

TEST_F(CheckFileE2e, DamagedFilesReportTheReferenceFramersErrors) {
    // Fewer under Wine, where every run starts a console and a program.
#ifdef _WIN32
    const uint32_t seeds = 2;
#else
    const uint32_t seeds = 12;
#endif
    for (uint32_t seed = 1; seed <= seeds; ++seed) {
        // The first is larger than a read of the program, so that pieces join.
        const Bytes bytes = MakeCorruptTimingStream(seed == 1 ? 100000 : 2000, seed);
        const std::string file = Write("damaged" + std::to_string(seed) + ".bin", bytes);
        int status = 0;
        const std::string expected = ExpectedReport(file, bytes, &status);
        const CheckRun run = Check({file});
        EXPECT_EQ(run.out, expected) << "seed " << seed;
        EXPECT_EQ(run.err, "") << "seed " << seed;
        EXPECT_EQ(run.status, status) << "seed " << seed;
    }
}

TEST_F(CheckFileE2e, FilesAtTheEdgesAreCleanAndSaySo) {
    const Bytes stream = MakeTimingStream(3000, {.seed = 8, .syncPairsInside = true});
    const std::vector<size_t> offsets = RecordOffsets(stream);
    const Bytes midStart(stream.begin() + 5, stream.end());
    const Bytes midEnd(stream.begin(), stream.begin() + static_cast<ptrdiff_t>(offsets.back()) + 9);
    const std::vector<std::pair<std::string, Bytes>> files = {
        {"mid-start.bin", midStart}, {"mid-end.bin", midEnd}, {"empty.bin", {}}};
    std::vector<std::string> names;
    std::string expected;
    int status = 0;
    for (const auto& [name, bytes] : files) {
        names.push_back(Write(name, bytes));
        expected += ExpectedReport(names.back(), bytes, &status);
    }
    const CheckRun run = Check(names);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, expected);
    // What the reference says there, in so many words.
    EXPECT_NE(run.out.find("skipped_at_start=" + std::to_string(offsets[1] - 5) + " "),
              std::string::npos);
    EXPECT_NE(run.out.find("record cut off by the end of the file, 9 bytes"), std::string::npos);
    EXPECT_NE(run.out.find("summary size=0 records=0 skipped_at_start=0 errors=0 bad_length=0 "
                           "no_next_sync=0 incomplete_at_end=0 file=" +
                           names[2] + "\n"),
              std::string::npos);
}

// A file with no record, or one that begins with more than a cut record leaves, is no
// clean timing log, though the framer finds no error in it.
TEST_F(CheckFileE2e, FilesThatAreNoTimingLogAreSaidSo) {
    const std::string line = "a text log, sent by mistake\n";
    Bytes text;
    for (int i = 0; i < 1000; ++i) {
        text.insert(text.end(), line.begin(), line.end());
    }
    Bytes late(26, 0x20);
    const Bytes records = MakeTimingStream(500, {.seed = 5});
    late.insert(late.end(), records.begin(), records.end());
    for (const auto& [name, bytes] : {std::pair{"text.log", text}, std::pair{"late.bin", late}}) {
        const std::string file = Write(name, bytes);
        int status = 0;
        const std::string expected = ExpectedReport(file, bytes, &status);
        const CheckRun run = Check({file});
        EXPECT_EQ(run.status, 1) << name;
        EXPECT_EQ(run.out, expected) << name;
        EXPECT_EQ(run.err, "") << name;
    }
    EXPECT_NE(Check({Path("text.log")}).out.find("text.log: no timing record found\n"),
              std::string::npos);
    EXPECT_NE(Check({Path("late.bin")})
                  .out.find("late.bin: 26 bytes before the first record, more than a cut record "
                            "leaves (25)\n"),
              std::string::npos);
}

TEST_F(CheckFileE2e, AFileThatCannotBeReadIsOneLineAndStatusTwo) {
    const Bytes bad = MakeCorruptTimingStream(500, 3);
    const std::string damaged = Write("damaged.bin", bad);
    const std::string folder = Path("folder");
    fs::create_directories(folder);
    const std::string missing = Path("missing.bin");
    int status = 0;
    const std::string expected = ExpectedReport(damaged, bad, &status);
    ASSERT_EQ(status, 1);

    const CheckRun run = Check({folder, damaged, missing});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, expected);
    std::istringstream lines(run.err);
    std::string line;
    ASSERT_TRUE(std::getline(lines, line));
    EXPECT_EQ(line.rfind("cannot ", 0), 0u) << line;
    EXPECT_NE(line.find(folder + ": "), std::string::npos) << line;
    ASSERT_TRUE(std::getline(lines, line));
    EXPECT_EQ(line.rfind("cannot open " + missing + ": ", 0), 0u) << line;
    EXPECT_FALSE(std::getline(lines, line)) << run.err;

    // The worst status of all, wherever its file stands.
    const std::string clean = Write("clean.bin", MakeTimingStream(10, {.seed = 3}));
    EXPECT_EQ(Check({damaged, clean}).status, 1);
}

TEST_F(CheckFileE2e, UsageAndSwitches) {
    const CheckRun none = Check({});
    EXPECT_EQ(none.status, 2);
    EXPECT_EQ(none.err, "no file to check\n");
    EXPECT_EQ(none.out, CHECK_USAGE_TEXT);

    const CheckRun help = Check({"--help", "whatever.bin"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.err, "");
    EXPECT_EQ(help.out, CHECK_USAGE_TEXT);

    const CheckRun unknown = Check({"-x"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.err, "unknown switch -x\n");

    // After "--" a name that starts with "-" is a file.
    const Bytes record = MakeTimingStream(1, {.seed = 2, .syncPairsInside = false});
    Write("-x", record);
    const CheckRun named = Check({"--", "-x"}, std::string(), true);
    EXPECT_EQ(named.status, 0) << named.err;
    EXPECT_NE(named.out.find("records=1 "), std::string::npos) << named.out;
}

#ifdef _WIN32
// The command prompt leaves * and ? to the program: the files that match, in name order,
// folders left out; a pattern that matches none is a file that cannot be opened.
TEST_F(CheckFileE2e, WildcardsAreExpandedInNameOrder) {
    std::string expected;
    int status = 0;
    for (const char* name : {"T-00001.BIN", "T-00002.BIN", "T-00010.BIN"}) {
        const Bytes bytes = MakeCorruptTimingStream(300, name[6] - '0' + 1);
        expected += ExpectedReport(Path(name), bytes, &status);
    }
    for (const char* name : {"T-00010.BIN", "T-00002.BIN", "T-00001.BIN"}) {
        Write(name, MakeCorruptTimingStream(300, name[6] - '0' + 1));
    }
    fs::create_directories(Path("T-FOLDER.BIN"));
    const CheckRun run = Check({Path("T-*.BIN")});
    EXPECT_EQ(run.status, status);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, expected);

    const CheckRun none = Check({Path("NONE-?.BIN")});
    EXPECT_EQ(none.status, 2);
    EXPECT_EQ(none.out, "");
    EXPECT_EQ(none.err.rfind("cannot open " + Path("NONE-?.BIN") + ": ", 0), 0u) << none.err;
}
#else
TEST_F(CheckFileE2e, OutputThatCannotBeWrittenIsReportedOnce) {
    const std::string file = Write("damaged.bin", MakeCorruptTimingStream(3000, 4));
    const CheckRun run = Check({file, file}, "/dev/full");
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "cannot write standard output: No space left on device\n");
}

TEST_F(CheckFileE2e, NamesShowControlBytesEscaped) {
    const std::string name = Path("no\x01such\nfile");
    const CheckRun run = Check({name});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err,
              "cannot open " + Path("no\\x01such\\x0Afile") + ": No such file or directory\n");
}
#endif

}  // namespace
