// Every fault the simulator can inject, at every step of dump, capture and set: the
// program never crashes, ends with the status the fault calls for, and every byte the
// driver delivered is in the files.
#include <gtest/gtest.h>
#include <signal.h>

#include <string>
#include <vector>

#include "tests/support/output_lines.h"
#include "tests/support/simulator.h"

namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

const char* const FAULTS[] = {"open-configure", "open-text",    "open-timing",
                              "reject-set",     "reject-query", "partial-read"};

struct Expectation {
    Lines command;
    // Exit status for each fault of FAULTS, in order.
    int status[6];
};

// A dump or capture with -d writes everything that was read, so its files must equal
// what the simulator served, whatever failed.
void ExpectFilesHoldWhatWasServed(Simulator& sim) {
    if (sim.FileExists("A.LOG")) {
        EXPECT_EQ(sim.ReadFile("A.LOG"), sim.Served(0, "text"));
    }
    if (sim.FileExists("T.BIN")) {
        EXPECT_EQ(sim.ReadFile("T.BIN"), sim.Served(0, "timing"));
    }
}

TEST(Faults, EveryKindBeforeEveryCommand) {
    const Expectation expectations[] = {
        {{"list"}, {1, 0, 0, 0, 1, 0}},
        {{"dump", "both", "a.log", "t.bin"}, {0, 1, 1, 0, 0, 0}},
        {{"capture", "-d", "both", "a.log", "t.bin"}, {0, 1, 1, 0, 0, 0}},
        {{"set"}, {1, 0, 0, 0, 1, 0}},
        {{"set", "intimer", "on"}, {1, 0, 0, 1, 0, 0}},
        {{"set", "loglevel", "3"}, {1, 0, 0, 1, 0, 0}},
        {{"clearcache"}, {1, 0, 0, 1, 0, 0}},
    };
    for (const Expectation& expectation : expectations) {
        for (int fault = 0; fault < 6; ++fault) {
            Simulator sim;
            sim.Control({"text", "0", "some text\\n"});
            sim.Control({"timing", "0", "200", "--corrupt", "2"});
            sim.Control({"fault", "0", FAULTS[fault]});
            Lines arguments = {"-q"};
            arguments.insert(arguments.end(), expectation.command.begin(),
                             expectation.command.end());
            const ProcessResult run = sim.Quorvin(arguments);
            const std::string what = testing::PrintToString(expectation.command) + " with " +
                                     FAULTS[fault] + ": " + run.err;
            EXPECT_EQ(run.status, expectation.status[fault]) << what;
            EXPECT_EQ(run.status == 0, run.err.empty()) << what;  // a failure always says why
            ExpectFilesHoldWhatWasServed(sim);
        }
    }
}

TEST(Faults, PartialReadInTheMiddleOfACapture) {
    Simulator sim;
    auto capture = sim.StartQuorvin({"-q", "capture", "-d", "both", "a.log", "t.bin"});
    ASSERT_TRUE(WaitFor([&] { return CountReads(sim.Requests(0)) >= 2; }));
    for (int round = 0; round < 3; ++round) {
        sim.Control({"fault", "0", "partial-read"});
        const std::string line = "round " + std::to_string(round) + "\n";
        sim.Control({"text", "0", "round " + std::to_string(round) + "\\n"});
        sim.Control({"timing", "0", "300"});
        ASSERT_TRUE(WaitFor([&] {
            const std::string text = sim.Served(0, "text");
            return text.size() >= line.size() && text.substr(text.size() - line.size()) == line;
        }));
    }
    ASSERT_TRUE(WaitFor([&] { return sim.ReadFile("A.LOG") == "round 0\nround 1\nround 2\n"; }));
    ASSERT_TRUE(WaitFor([&] { return sim.ReadFile("T.BIN") == sim.Served(0, "timing"); }));
    capture->WriteStdin("\n");
    EXPECT_EQ(capture->Wait(20s), 0) << capture->Stderr();
    ExpectFilesHoldWhatWasServed(sim);
}

TEST(Faults, SimulatorKilledDuringACapture) {
    Simulator sim;
    auto capture = sim.StartQuorvin({"-q", "capture", "both", "a.log", "t.bin"});
    ASSERT_TRUE(WaitFor([&] { return CountReads(sim.Requests(0)) >= 4; }));
    sim.Control({"text", "0", "said before the end\\n"});
    sim.Control({"timing", "0", "50"});
    ASSERT_TRUE(WaitFor([&] { return sim.ReadFile("A.LOG") == "said before the end\n"; }));
    ASSERT_TRUE(WaitFor([&] { return sim.ReadFile("T.BIN") == sim.Served(0, "timing"); }));
    const std::string timing = sim.ReadFile("T.BIN");
    sim.Kill();
    ASSERT_TRUE(WaitFor([&] { return !capture->Stderr().empty(); }));
    EXPECT_EQ(capture->Wait(1500ms), -1);  // it keeps running until ENTER
    capture->WriteStdin("\n");
    EXPECT_EQ(capture->Wait(20s), 1);
    EXPECT_EQ(WithoutDates(capture->Stderr()).rfind("the adapter stopped answering: ", 0), 0u);
    EXPECT_EQ(sim.ReadFile("A.LOG"), "said before the end\n");
    EXPECT_EQ(sim.ReadFile("T.BIN"), timing);
}

TEST(Faults, AdapterRemovedAndAddedAgainDuringACapture) {
    Simulator sim;
    auto capture = sim.StartQuorvin({"-q", "capture", "a.log"});
    ASSERT_TRUE(WaitFor([&] { return CountReads(sim.Requests(0)) >= 2; }));
    sim.Control({"text", "0", "first adapter\\n"});
    ASSERT_TRUE(WaitFor([&] { return sim.ReadFile("A.LOG") == "first adapter\n"; }));
    sim.Control({"remove", "0"});
    sim.Control({"add", "0:1A2B"});
    sim.Control({"text", "0", "second adapter\\n"});
    ASSERT_TRUE(WaitFor([&] { return !capture->Stderr().empty(); }));
    std::this_thread::sleep_for(1200ms);
    capture->WriteStdin("\n");
    EXPECT_EQ(capture->Wait(20s), 1);
    // The capture keeps the adapter it started with; the new one is not taken up.
    EXPECT_EQ(sim.ReadFile("A.LOG"), "first adapter\n");
    EXPECT_EQ(capture->Stdout().find("New device"), std::string::npos);
}

TEST(Faults, BurstOfArrivalsWhileACaptureWaits) {
    Simulator sim({"--no-adapter"});
    auto capture = sim.StartQuorvin({"-q", "capture", "a.log"});
    ASSERT_TRUE(capture->WaitForStdoutText("Hit \"ENTER\" to end log capture...", 20s));
    Lines paths;
    for (int i = 0; i < 100; ++i) {
        std::string path = sim.Control({"add", std::to_string(i) + ":1A2B"});
        path.erase(path.find_last_not_of('\n') + 1);
        paths.push_back(path);
    }
    ASSERT_TRUE(capture->WaitForStdoutText("Hit \"ENTER\" to exit...", 20s));
    // The adapter taken is one of the burst; the newest one untaken at that moment.
    const std::string out = capture->Stdout();
    const std::string marker = "New device just added: ";
    const size_t at = out.find(marker) + marker.size();
    const std::string taken = out.substr(at, out.find('\n', at) - at);
    const auto position = std::find(paths.begin(), paths.end(), taken);
    ASSERT_NE(position, paths.end()) << taken;
    const int index = static_cast<int>(position - paths.begin());
    ASSERT_TRUE(WaitFor([&] { return CountReads(sim.Requests(index)) >= 2; }));
    sim.Control({"text", std::to_string(index), "from the taken one\\n"});
    ASSERT_TRUE(WaitFor([&] { return sim.ReadFile("A.LOG") == "from the taken one\n"; }));
    capture->WriteStdin("\n");
    EXPECT_EQ(capture->Wait(20s), 0) << capture->Stderr();
    const std::string shown = capture->Stdout();
    EXPECT_EQ(shown.find("New device"), shown.rfind("New device"));  // one message only
}

}  // namespace
