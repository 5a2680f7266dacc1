// A capture left running for days: switches that are not understood, logs written in
// pieces of bounded size, of which only the newest may be kept, an end after a duration
// or after a line with a text, what a hard stop leaves on disk, and the status line on
// a console.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "logs/piece_ring.h"
#include "tests/support/output_lines.h"
#include "tests/support/reference_framer.h"
#include "tests/support/simulator.h"

namespace {

using namespace std::chrono_literals;

const std::string PROMPT = "Hit \"ENTER\" to end log capture...";
constexpr size_t PIECE = 65536;

struct Pieces {
    std::vector<uint64_t> numbers;  // ascending
    std::vector<std::string> contents;
    std::string joined;
};

// The pieces of NAME.EXT in the working folder.
Pieces ReadPieces(const Simulator& sim, const std::string& stem, const std::string& extension) {
    Pieces pieces;
    const std::regex name(stem + "-([0-9]{5,})" + extension);
    std::vector<std::pair<uint64_t, std::string>> found;
    for (const auto& entry : std::filesystem::directory_iterator(sim.workDirectory)) {
        std::smatch match;
        const std::string file = entry.path().filename().string();
        if (std::regex_match(file, match, name)) {
            found.emplace_back(std::stoull(match[1]), file);
        }
    }
    std::sort(found.begin(), found.end());
    for (const auto& [number, file] : found) {
        pieces.numbers.push_back(number);
        pieces.contents.push_back(sim.ReadFile(file));
        pieces.joined += pieces.contents.back();
    }
    return pieces;
}

// quorvin-check on one file: its exit status and summary line.
ProcessResult Check(const Simulator& sim, const std::string& file) {
    return RunProcess({QUORVIN_CHECK_EXE, file}, {.workingDirectory = sim.workDirectory});
}

void StartStreams(Simulator& sim, const std::string& bytesPerSecond) {
    sim.Control({"stream", "0", "text", bytesPerSecond});
    sim.Control({"stream", "0", "timing", bytesPerSecond});
}

void StopStreams(Simulator& sim) {
    sim.Control({"stream", "0", "text", "stop"});
    sim.Control({"stream", "0", "timing", "stop"});
}

TEST(LongCapture, SwitchValuesThatAreNotUnderstoodAreUsageErrors) {
    Simulator sim;
    sim.Control({"text", "0", "held\\n"});
    const std::vector<std::vector<std::string>> lines = {
        {"-s:63K"},
        {"-s:1X"},
        {"-s"},
        {"-s:64KB"},
        {"-s:99999999999999999999G"},
        {"-k:3"},
        {"-s:1M", "-k:0"},
        {"-s:1M", "-k:2X"},
        {"-t:0"},
        {"-t:5X"},
        {"-t"},
        {"-w"},
        {"-w:"},
        {"-w:x", "timing"},
        {"-a:x"},
        {"-a:65536"},
        {"-a:1.5"},
        {"-f:yes"},
        {"-s:1M", "text"},  // no log goes to a file
        {"-s:1M", "-k:2", "text"},
    };
    for (const std::vector<std::string>& switches : lines) {
        std::vector<std::string> arguments = {"-q", "capture"};
        arguments.insert(arguments.end(), switches.begin(), switches.end());
        if (switches.back() != "text") {
            arguments.push_back(switches.back() == "timing" ? "t.bin" : "a.log");
        }
        const ProcessResult run = sim.Quorvin(arguments);
        const std::string& what = switches.front();
        EXPECT_EQ(run.status, 2) << what;
        EXPECT_EQ(run.out, "") << what;
        EXPECT_EQ(LineCount(run.err), 1u) << what << ": " << run.err;
        EXPECT_FALSE(sim.FileExists("A.LOG") || sim.FileExists("A-00001.LOG") ||
                     sim.FileExists("T.BIN"))
            << what;
    }
    EXPECT_EQ(CountReads(sim.Requests(0)), 0u);
    EXPECT_EQ(sim.Quorvin({"-q", "capture", "-k:3", "a.log"}).err,
              "-k keeps pieces: it needs -s, which writes the logs in pieces\n");
    // Days are a unit of their own.
    const ProcessResult fortnight = sim.Quorvin({"-q", "capture", "-t:14D", "a.log"}, "\n");
    EXPECT_EQ(fortnight.status, 0) << fortnight.err;
}

// How a piece test runs: the newest pieces it keeps (0: all), and whether it is left
// alone, as when the system starts it: standard input, output and error closed, the
// driver already logging, the end by -t.
struct PieceRun {
    int keep;
    bool unattended;
};

class PieceTest : public ::testing::TestWithParam<PieceRun> {};

// Both logs in pieces while the driver logs and answers in reads of any length: the
// pieces kept, joined in order, are exactly what the driver served from the first byte
// of the oldest one kept; each is at most a piece's size; a text piece ends after a line
// feed, and a timing piece is a clean timing log of its own, with no record cut at
// either end (but for the capture's first and last bytes).
TEST_P(PieceTest, PiecesHoldWhatWasServedAndEachIsWhole) {
    const auto [keep, unattended] = GetParam();
    Simulator sim({"--log-size", "4000000"});
    sim.Control({"readsize", "0", "random", "5"});
    std::vector<std::string> arguments = {"-q",   "capture", "-d",   "-s:64K",
                                          "both", "a.log",   "t.bin"};
    if (keep != 0) {
        arguments.insert(arguments.begin() + 4, "-k:" + std::to_string(keep));
    }
    if (unattended) {
        arguments.insert(arguments.begin() + 4, "-t:3");
        StartStreams(sim, "300000");
        ProcessOptions closed;
        closed.closeStdin = closed.closeStdout = closed.closeStderr = true;
        const ProcessResult run = sim.QuorvinWith(closed, arguments);
        StopStreams(sim);
        ASSERT_EQ(run.status, 0);
    } else {
        auto capture = sim.StartQuorvin(arguments);
        ASSERT_TRUE(capture->WaitForStdoutText(PROMPT, 20s));
        // As above, slow enough that the 4 MB log holds more than 10 s of the stream, so
        // that a reader slowed by a loaded machine loses nothing to the log's wrap.
        StartStreams(sim, "300000");
        const auto started = [&](const char* stem, const char* extension) {
            const Pieces pieces = ReadPieces(sim, stem, extension);
            return !pieces.numbers.empty() && pieces.numbers.back() >= 12;
        };
        ASSERT_TRUE(WaitFor([&] { return started("A", ".LOG") && started("T", ".BIN"); }, 60s));
        StopStreams(sim);
        capture->WriteStdin("\n");
        ASSERT_EQ(capture->Wait(30s), 0) << capture->Stderr();
        EXPECT_EQ(capture->Stderr(), "");
    }
    EXPECT_FALSE(sim.FileExists("A.LOG") || sim.FileExists("T.BIN"));

    for (const auto& [stem, extension, log] :
         {std::tuple{"A", ".LOG", "text"}, std::tuple{"T", ".BIN", "timing"}}) {
        const Pieces pieces = ReadPieces(sim, stem, extension);
        const std::string served = sim.Served(0, log);
        ASSERT_GE(pieces.numbers.size(), 2u) << log;
        const uint64_t first = pieces.numbers.front();
        const uint64_t last = pieces.numbers.back();
        EXPECT_EQ(last - first + 1, pieces.numbers.size()) << log << ": a piece is missing";
        if (keep == 0) {
            EXPECT_EQ(first, 1u) << log;
        } else {
            EXPECT_EQ(pieces.numbers.size(), static_cast<size_t>(keep)) << log;
        }
        ASSERT_LE(pieces.joined.size(), served.size()) << log;
        EXPECT_TRUE(served.compare(served.size() - pieces.joined.size(), std::string::npos,
                                   pieces.joined) == 0)
            << log;
        EXPECT_EQ(keep != 0 || pieces.joined.size() == served.size(), true) << log;
        for (size_t i = 0; i < pieces.contents.size(); ++i) {
            const std::string& piece = pieces.contents[i];
            const std::string name =
                std::string(stem) + "-" +
                std::string(5 - std::to_string(pieces.numbers[i]).size(), '0') +
                std::to_string(pieces.numbers[i]) + extension;
            EXPECT_LE(piece.size(), PIECE) << name;
            const bool lastPiece = i + 1 == pieces.contents.size();
            if (std::string(log) == "text") {
                EXPECT_TRUE(lastPiece || piece.back() == '\n') << name;
                continue;
            }
            const ProcessResult check = Check(sim, name);
            EXPECT_EQ(check.status, 0) << name << ": " << check.out;
            if (pieces.numbers[i] != 1) {
                EXPECT_NE(check.out.find(" skipped_at_start=0 "), std::string::npos) << check.out;
            }
            if (!lastPiece) {
                EXPECT_NE(check.out.find(" incomplete_at_end=0 "), std::string::npos) << check.out;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Kept, PieceTest,
                         ::testing::Values(PieceRun{0, false}, PieceRun{3, false},
                                           PieceRun{0, true}),
                         [](const auto& info) {
                             return info.param.unattended ? std::string("AllUnattended")
                                    : info.param.keep == 0
                                        ? std::string("All")
                                        : "Newest" + std::to_string(info.param.keep);
                         });

// A capture started again on the same names (as after the crash it waited for) keeps
// every piece of the runs before, also one that another program holds, numbers on after
// the highest, and counts them in -k, the oldest deleted first.
TEST(LongCapture, ARestartKeepsThePiecesBefore) {
    Simulator sim({"--log-size", "1000000"});
    const auto run = [&](const std::string& keep) {
        sim.Control({"fill", "0", "text", "200000"});
        const ProcessResult capture = sim.Quorvin({"-q", "capture", "-d", "-s:64K", keep, "a.log"});
        EXPECT_EQ(capture.status, 0) << capture.err;
        EXPECT_EQ(capture.err, "");
    };
    run("-k:1000");
    std::vector<std::string> first;
    for (int n = 1; sim.FileExists(PieceName("A.LOG", n)); ++n) {
        first.push_back(sim.ReadFile(PieceName("A.LOG", n)));
    }
    ASSERT_EQ(first.size(), 4u);
    const int fd = open(sim.FilePath("A-00004.LOG").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    run("-k:1000");
    close(fd);
    for (size_t n = 1; n <= first.size(); ++n) {
        EXPECT_EQ(sim.ReadFile(PieceName("A.LOG", n)), first[n - 1]) << n;
    }
    EXPECT_EQ(sim.ReadFile(PieceName("A.LOG", 5)).substr(0, 10),
              sim.Served(0, "text").substr(200000, 10));
    // A third run keeps three pieces in all: two of the second run's and its own.
    run("-k:3");
    for (int n = 1; n <= 12; ++n) {
        EXPECT_EQ(sim.FileExists(PieceName("A.LOG", n)), n >= 10 && n <= 12) << n;
    }
}

// A log whose first piece cannot be made (here its folder is missing) stays in the
// driver, and the other is captured; the capture fails.
TEST(LongCapture, EndsAfterItsDuration) {
    Simulator sim;
    sim.Control({"text", "0", "stays\\n"});
    sim.Control({"timing", "0", "20"});
    auto capture = sim.StartQuorvin(
        {"-q", "capture", "-d", "-t:2", "-s:64K", "both", "no/such/a.log", "t.bin"});
    EXPECT_EQ(capture->Wait(30s), 1) << capture->Stderr();
    EXPECT_EQ(WithoutDates(capture->Stdout()), PROMPT + "\ncapture ended after 0:00:02\n");
    EXPECT_NE(capture->Stderr().find("cannot create NO/SUCH/A-00001.LOG: "), std::string::npos)
        << capture->Stderr();
    EXPECT_EQ(sim.Served(0, "text"), "");
    EXPECT_EQ(sim.ReadFile("T-00001.BIN"), sim.Served(0, "timing"));
}

// A line with the text, which reaches the program in two reads: the capture ends about
// a poll interval later, and what the driver logged after the line, once the line is in
// the file, is kept. Standard input at its end is no stop for it: it runs pass after pass.
TEST(LongCapture, EndsASecondAfterALineWithTheText) {
    Simulator sim;
    auto capture = sim.StartQuorvin({"-q", "capture", "-w:Fault", "a.log"});
    capture->CloseStdin();
    ASSERT_TRUE(capture->WaitForStdoutText(PROMPT, 20s));
    sim.Control({"text", "0", "before\\n"});
    ASSERT_TRUE(WaitFor([&] { return sim.ReadFile("A.LOG") == "before\n"; }));
    sim.Control({"text", "0", "a fau"});
    ASSERT_TRUE(WaitFor([&] { return sim.Served(0, "text") == "before\na fau"; }));
    sim.Control({"text", "0", "lt here\\n"});
    ASSERT_TRUE(WaitFor([&] { return sim.ReadFile("A.LOG") == "before\na fault here\n"; }));
    sim.Control({"text", "0", "right after\\n"});
    EXPECT_EQ(capture->Wait(30s), 0) << capture->Stderr();
    EXPECT_EQ(WithoutDates(capture->Stdout()), PROMPT + "\ncapture ended: \"FAULT\" seen\n");
    EXPECT_EQ(sim.ReadFile("A.LOG"), "before\na fault here\nright after\n");
}

// A driver that logs faster than it answers never lets a pass end: the text is still
// seen, and the capture still ends.
TEST(LongCapture, EndsAfterTheTextWhileTheDriverFloods) {
    Simulator sim({"--log-size", "40000000"});
    sim.Control({"delay", "0", "1"});  // at most 4 MB/s are read
    sim.Control({"stream", "0", "text", "6000000"});
    auto capture = sim.StartQuorvin({"-q", "capture", "-w:needle", "a.log"});
    ASSERT_TRUE(capture->WaitForStdoutText(PROMPT, 30s));
    sim.Control({"text", "0", "the needle\\n"});
    EXPECT_EQ(capture->Wait(30s), 0) << capture->Stderr();
    sim.Control({"stream", "0", "text", "stop"});
    EXPECT_NE(sim.ReadFile("A.LOG").find("the needle\n"), std::string::npos);
    EXPECT_NE(capture->Stdout().find("capture ended: \"NEEDLE\" seen\n"), std::string::npos);
}

// The bytes of a log served up to its second-to-last empty answer: a turn that ended so
// early has been written out before the program asked again.
size_t ServedBeforeLastTurnButOne(const std::vector<size_t>& blocks) {
    std::vector<size_t> ends;
    size_t total = 0;
    for (size_t length : blocks) {
        total += length;
        if (length == 0) {
            ends.push_back(total);
        }
    }
    return ends.size() >= 2 ? ends[ends.size() - 2] : 0;
}

// Killed at any moment, a capture in pieces leaves every byte up to its last turn but
// one on disk, in whole pieces with their right names.
TEST(LongCapture, AHardStopLosesAtMostTheLastTurn) {
    std::mt19937 random(3);
    for (int round = 0; round < 4; ++round) {
        Simulator sim({"--log-size", "4000000"});
        auto capture =
            sim.StartQuorvin({"-q", "capture", "-d", "-s:64K", "both", "a.log", "t.bin"});
        ASSERT_TRUE(capture->WaitForStdoutText(PROMPT, 20s));
        StartStreams(sim, "2000000");
        ASSERT_TRUE(WaitFor([&] { return sim.FileExists("T-00003.BIN"); }, 60s));
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % 1500));
        capture->Signal(SIGKILL);
        capture->Wait(30s);
        StopStreams(sim);
        for (const auto& [stem, extension, log] :
             {std::tuple{"A", ".LOG", "text"}, std::tuple{"T", ".BIN", "timing"}}) {
            const Pieces pieces = ReadPieces(sim, stem, extension);
            const std::string served = sim.Served(0, log);
            const std::string what = std::string(log) + ", round " + std::to_string(round);
            EXPECT_EQ(pieces.numbers.front(), 1u) << what;
            EXPECT_EQ(pieces.numbers.back(), pieces.numbers.size()) << what;
            EXPECT_TRUE(served.compare(0, pieces.joined.size(), pieces.joined) == 0) << what;
            // What waited for the end of its line or record may be lost with the turn.
            const size_t safe = ServedBeforeLastTurnButOne(sim.ServedBlocks(0, log));
            EXPECT_GE(pieces.joined.size() + 100, safe) << what;
        }
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(sim.workDirectory),
                                std::filesystem::directory_iterator()),
                  static_cast<long>(ReadPieces(sim, "A", ".LOG").numbers.size() +
                                    ReadPieces(sim, "T", ".BIN").numbers.size() + 1))
            << "a file that is no piece nor the events file";
        EXPECT_EQ(sim.ReadFile("A-EVENTS.TXT").find("capture ended"), std::string::npos);
    }
}

// On a console the figures are rewritten in place on standard error, once a second; the
// last ones stay, on a line of their own. Standard output and the files never see them.
TEST(LongCapture, StatusLineOnAConsoleOnly) {
    Simulator sim;
    sim.Control({"timing", "0", "40", "--corrupt", "2"});
    sim.Control({"text", "0", "twelve bytes"});
    Process capture(
        {BuiltPrograms().quorvin, "-q", "capture", "-d", "-t:3", "-s:64K", "both", "a.log",
         "t.bin"},
        {.workingDirectory = sim.workDirectory, .keepStdinOpen = true, .stderrTerminal = true});
    ASSERT_EQ(capture.Wait(30s), 0);
    const ProcessResult run = {0, capture.Stdout(), capture.Stderr()};
    EXPECT_EQ(WithoutDates(run.out),
              PROMPT + "detected 2 errors in timing log\ncapture ended after 0:00:03\n");
    EXPECT_EQ(sim.ReadFile("A-00001.LOG"), "twelve bytes");
    const std::regex line(
        "\r0:00:0[0-9]  text 12 B #1  timing [0-9]+ B #1 2 errors  answering, data [0-9] s ago *");
    std::vector<std::string> shown;
    std::string err = run.err;
    ASSERT_FALSE(err.empty());
    EXPECT_EQ(err.back(), '\n');
    err.pop_back();
    for (size_t at = 0; at < err.size();) {
        size_t next = err.find('\r', at + 1);
        next = next == std::string::npos ? err.size() : next;
        shown.push_back(err.substr(at, next - at));
        at = next;
    }
    EXPECT_GE(shown.size(), 3u) << run.err;
    for (const std::string& figures : shown) {
        EXPECT_TRUE(std::regex_match(figures, line)) << figures;
    }
    EXPECT_EQ(shown.back().substr(0, 8), "\r0:00:03") << shown.back();
}

}  // namespace
