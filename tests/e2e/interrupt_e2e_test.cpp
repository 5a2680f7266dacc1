// Ctrl+C and SIGTERM end a dump or a capture the way ENTER does, also while the driver
// keeps logging: the block in hand is written, the files are closed and hold exactly
// what the driver handed over, and the framing-error lines are those of the blocks read.
// ENTER ends a capture whose driver never runs dry, and a second interrupt ends a run
// whose driver does not answer.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/output_lines.h"
#include "tests/support/simulator.h"

namespace {

using namespace std::chrono_literals;

const std::string PROMPT = "Hit \"ENTER\" to end log capture...";

// Both logs written by the simulator as the capture reads them; timing records with a
// bad length now and then.
void StartStreams(Simulator& sim, const std::string& bytesPerSecond) {
    sim.Control({"stream", "0", "text", bytesPerSecond});
    sim.Control({"stream", "0", "timing", bytesPerSecond, "--corrupt-every", "97"});
}

void StopStreams(Simulator& sim) {
    sim.Control({"stream", "0", "text", "stop"});
    sim.Control({"stream", "0", "timing", "stop"});
}

void ExpectFilesAreWhatWasServed(Simulator& sim, const std::string& out, const std::string& what) {
    EXPECT_TRUE(sim.ReadFile("A.LOG") == sim.Served(0, "text")) << what;
    const std::string timing = sim.Served(0, "timing");
    EXPECT_TRUE(sim.ReadFile("T.BIN") == timing) << what;
    EXPECT_EQ(OutputLines(out), ExpectedErrorLines(timing, sim.ServedBlocks(0, "timing"))) << what;
}

// At a moderate rate a signal finds the capture in a pass or between two; at a flood,
// always in the middle of reading.
TEST(Interrupt, CaptureOfAStreamingDriverEndsAsAfterEnter) {
    std::mt19937 random(7);
    for (const char* rate : {"30000000", "1000000000"}) {
        for (int signal : {SIGINT, SIGTERM}) {
            Simulator sim({"--log-size", "4000000"});
            auto capture = sim.StartQuorvin({"-q", "capture", "-d", "both", "a.log", "t.bin"});
            ASSERT_TRUE(capture->WaitForStdoutText(PROMPT, 20s));
            StartStreams(sim, rate);
            ASSERT_TRUE(WaitFor([&] { return !sim.ReadFile("T.BIN").empty(); }));
            std::this_thread::sleep_for(std::chrono::milliseconds(random() % 1200));
            capture->Signal(signal);
            const int status = capture->Wait(20s);
            StopStreams(sim);
            const std::string what = std::string(rate) + " B/s, signal " + std::to_string(signal);
            EXPECT_EQ(status, 0) << what << ": " << capture->Stderr();
            EXPECT_EQ(capture->Stderr(), "") << what;
            ExpectFilesAreWhatWasServed(sim, capture->Stdout(), what);
        }
    }
}

// A driver whose text log never runs dry (it logs faster than it answers): Ctrl+C ends
// the dump after the block in hand, and the timing log, not begun, stays in the driver.
TEST(Interrupt, DumpStopsAfterTheBlockInHandAndSaysSo) {
    Simulator sim({"--log-size", "4000000"});
    sim.Control({"timing", "0", "50"});
    sim.Control({"delay", "0", "1"});  // at most 4 MB/s are read
    sim.Control({"stream", "0", "text", "50000000"});
    auto dump = sim.StartQuorvin({"-q", "dump", "both", "a.log", "t.bin"});
    ASSERT_TRUE(WaitFor([&] { return sim.ReadFile("A.LOG").size() > 100000; }));
    dump->Signal(SIGINT);
    const int status = dump->Wait(30s);
    sim.Control({"stream", "0", "text", "stop"});
    EXPECT_EQ(status, 1);
    EXPECT_EQ(dump->Stderr(), "the dump was interrupted\n");
    EXPECT_TRUE(sim.ReadFile("A.LOG") == sim.Served(0, "text"));
    EXPECT_FALSE(sim.FileExists("T.BIN"));
    EXPECT_EQ(sim.Served(0, "timing"), "");
}

// Both logs are written faster than they can be read: they take turns, so both files
// grow, and ENTER is seen between two blocks. How soon is measured by the benchmarks.
TEST(Interrupt, EnterEndsACaptureWhoseDriverNeverRunsDry) {
    Simulator sim({"--log-size", "8000000"});
    auto capture = sim.StartQuorvin({"-q", "capture", "-d", "both", "a.log", "t.bin"});
    ASSERT_TRUE(capture->WaitForStdoutText(PROMPT, 20s));
    StartStreams(sim, "1000000000");
    ASSERT_TRUE(WaitFor([&] { return sim.ReadFile("T.BIN").size() > 1000000; }));
    const size_t text = sim.ReadFile("A.LOG").size();
    const size_t timing = sim.ReadFile("T.BIN").size();
    ASSERT_TRUE(WaitFor([&] {
        return sim.ReadFile("A.LOG").size() > text && sim.ReadFile("T.BIN").size() > timing;
    }));
    capture->WriteStdin("\n");
    EXPECT_EQ(capture->Wait(20s), 0) << capture->Stderr();
    StopStreams(sim);
    ExpectFilesAreWhatWasServed(sim, capture->Stdout(), "flood");
}

// A driver that takes seconds to answer: the first Ctrl+C waits for the block in hand,
// a second one ends the process at once.
TEST(Interrupt, SecondInterruptEndsTheProcessAtOnce) {
    Simulator sim;
    sim.Control({"text", "0", "slow\\n"});
    auto capture = sim.StartQuorvin({"-q", "capture", "-d", "a.log"});
    ASSERT_TRUE(capture->WaitForStdoutText(PROMPT, 20s));
    ASSERT_TRUE(WaitFor([&] { return sim.ReadFile("A.LOG") == "slow\n"; }));
    sim.Control({"delay", "0", "10000"});
    // The next pass is waiting for the driver.
    ASSERT_TRUE(WaitFor([&] { return sim.Control({"waiting", "0"}) != "0\n"; }));
    capture->Signal(SIGINT);
    EXPECT_EQ(capture->Wait(500ms), -1);  // still waiting for the block in hand
    // Ended by the signal, not by the answer that would have come ten seconds later.
    capture->Signal(SIGINT);
    EXPECT_EQ(capture->Wait(30s), 128 + SIGINT);
    EXPECT_EQ(sim.ReadFile("A.LOG"), "slow\n");  // what was written before stays
}

}  // namespace
