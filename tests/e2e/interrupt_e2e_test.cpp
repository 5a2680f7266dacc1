// Ctrl+C and SIGTERM end a dump or a capture the way ENTER does: the block in hand is
// written, the files are closed and hold exactly what the driver handed over.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/simulator.h"

namespace {

using namespace std::chrono_literals;

const std::string kPrompt = "Hit \"ENTER\" to end log capture...";

TEST(Interrupt, CaptureEndsAsAfterEnterAndKeepsEveryByteRead) {
    std::mt19937 random(7);
    for (int signal : {SIGINT, SIGTERM, SIGINT, SIGTERM}) {
        Simulator sim({"--log-size", "8000000"});
        auto capture = sim.StartQuorvin({"-q", "capture", "-d", "both", "a.log", "t.bin"});
        ASSERT_TRUE(capture->WaitForStdoutText(kPrompt, 20s));
        sim.Control({"fill", "0", "text", "4000000"});
        sim.Control({"fill", "0", "timing", "4000000"});
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % 60));
        capture->Signal(signal);
        EXPECT_EQ(capture->Wait(20s), 0) << "signal " << signal << ": " << capture->Stderr();
        EXPECT_EQ(capture->Stderr(), "");
        EXPECT_EQ(sim.ReadFile("A.LOG"), sim.Served(0, "text")) << "signal " << signal;
        EXPECT_EQ(sim.ReadFile("T.BIN"), sim.Served(0, "timing")) << "signal " << signal;
    }
}

TEST(Interrupt, DumpStopsAfterTheBlockInHandAndSaysSo) {
    std::mt19937 random(11);
    int interrupted = 0;
    for (int round = 0; round < 4; ++round) {
        Simulator sim({"--log-size", "40000000"});
        sim.Control({"fill", "0", "text", "30000000"});
        sim.Control({"fill", "0", "timing", "30000000"});
        auto dump = sim.StartQuorvin({"-q", "dump", "both", "a.log", "t.bin"});
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % 300));
        dump->Signal(SIGINT);
        const int status = dump->Wait(20s);
        if (status == 1) {
            ++interrupted;
            EXPECT_EQ(dump->Stderr(), "the dump was interrupted\n");
        } else {
            EXPECT_EQ(status, 0) << dump->Stderr();  // it was done before the signal came
        }
        EXPECT_EQ(sim.ReadFile("A.LOG"), sim.Served(0, "text"));
        if (sim.FileExists("T.BIN")) {
            EXPECT_EQ(sim.ReadFile("T.BIN"), sim.Served(0, "timing"));
        }
    }
    EXPECT_GT(interrupted, 0);
}

}  // namespace
