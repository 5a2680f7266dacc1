#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "cli/texts.h"
#include "tests/support/output_lines.h"
#include "tests/support/simulator.h"

namespace {

using namespace std::chrono_literals;

const std::string PROMPT = "Hit \"ENTER\" to end log capture...";

// Presses ENTER and returns the exit status (-1 when the capture hangs). How soon it
// ends is a benchmark figure (capture_stop_ms), not a test's business.
int PressEnter(Process& capture, std::chrono::milliseconds limit = 30s) {
    capture.WriteStdin("\n");
    return capture.Wait(limit);
}

class CaptureTest : public ::testing::TestWithParam<bool> {};

// Events logged before the capture read the buffers are dropped without -d and come
// first with it; events logged while it runs reach the files.
TEST_P(CaptureTest, RecordsWhatIsLoggedWhileItRuns) {
    const bool keepOlder = GetParam();
    Simulator sim;
    sim.Control({"text", "0", "older\\n"});
    sim.Control({"timing", "0", "5"});
    const std::string olderTiming = sim.Served(0, "timing");  // nothing served yet
    ASSERT_EQ(olderTiming, "");

    std::vector<std::string> arguments = {"-q", "capture", "both", "a.log", "t.bin"};
    if (keepOlder) {
        arguments.insert(arguments.begin() + 2, "/D:ignored");
    }
    auto capture = sim.StartQuorvin(arguments);
    ASSERT_TRUE(capture->WaitForStdoutText(PROMPT, 20s));
    // Once the older events have been read, anything new is captured.
    ASSERT_TRUE(WaitFor([&] { return sim.Served(0, "text") == "older\n"; }));
    ASSERT_TRUE(WaitFor([&] { return !sim.Served(0, "timing").empty(); }));
    const size_t olderTimingSize = sim.Served(0, "timing").size();

    sim.Control({"text", "0", "newer\\n"});
    sim.Control({"timing", "0", "7"});
    const std::string expectedText = keepOlder ? "older\nnewer\n" : "newer\n";
    ASSERT_TRUE(WaitFor([&] { return sim.ReadFile("A.LOG") == expectedText; }))
        << sim.ReadFile("A.LOG");
    const std::string served = sim.Served(0, "timing");
    const std::string expectedTiming = keepOlder ? served : served.substr(olderTimingSize);
    ASSERT_TRUE(WaitFor([&] { return sim.ReadFile("T.BIN") == expectedTiming; }));

    EXPECT_EQ(PressEnter(*capture), 0) << capture->Stderr();
    EXPECT_EQ(capture->Stdout(), PROMPT);
    EXPECT_EQ(capture->Stderr(), "");
    EXPECT_EQ(sim.ReadFile("A.LOG"), expectedText);
    EXPECT_EQ(sim.ReadFile("T.BIN"), expectedTiming);
}

INSTANTIATE_TEST_SUITE_P(OlderEvents, CaptureTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Kept" : "Dropped"; });

TEST(Capture, StandardInputAtEndOfFileRunsExactlyOnePass) {
    Simulator sim;
    sim.Control({"text", "0", "to the console\\n"});
    const ProcessResult run = sim.Quorvin({"-q", "capture", "-d"});
    EXPECT_EQ(run.status, 0) << run.err;
    // With -d the one pass prints what the buffer held; the prompt may come before or after.
    EXPECT_NE(run.out.find("to the console\n"), std::string::npos);
    EXPECT_NE(run.out.find(PROMPT), std::string::npos);
    // One drain of the text log: the block and the empty answer after it.
    EXPECT_EQ(CountReads(sim.Requests(0)), 2u);
}

// The console shows a pass's text before that pass's framing-error lines, as a dump does.
TEST(Capture, EachPassPrintsItsTextBeforeItsTimingErrors) {
    Simulator sim;
    sim.Control({"text", "0", "first pass\\n"});
    sim.Control({"timing", "0", "60", "--corrupt", "2"});
    auto capture = sim.StartQuorvin({"-q", "capture", "-d", "both", "t.bin"});
    ASSERT_TRUE(capture->WaitForStdoutText("detected 2 errors in timing log\n", 20s));
    sim.Control({"text", "0", "second pass\\n"});
    sim.Control({"timing", "0", "60", "--corrupt", "3"});
    ASSERT_TRUE(capture->WaitForStdoutText("detected 3 errors in timing log\n", 20s));
    EXPECT_EQ(PressEnter(*capture), 0) << capture->Stderr();
    std::string out = capture->Stdout();
    out.erase(out.find(PROMPT), PROMPT.size());
    EXPECT_EQ(out,
              "first pass\n"
              "detected 2 errors in timing log\n"
              "second pass\n"
              "detected 3 errors in timing log\n");
}

// Within a pass the logs take turns of 64 blocks: a megabyte of text on the console is
// interrupted by the timing log's error line after its first 256 KiB.
TEST(Capture, LogsTakeTurnsOf64Blocks) {
    Simulator sim({"--log-size", "2000000"});
    sim.Control({"fill", "0", "text", "1048576"});
    sim.Control({"timing", "0", "50", "--corrupt", "1"});
    const ProcessResult run = sim.Quorvin({"-q", "capture", "-d", "both", "t.bin"});
    EXPECT_EQ(run.status, 0) << run.err;
    std::string out = run.out;
    out.erase(out.find(PROMPT), PROMPT.size());
    EXPECT_EQ(out.find("detected 1 errors in timing log\n"), size_t{64} * 4096);
}

TEST(Capture, WaitsForAnAdapterToArrive) {
    Simulator sim({"--no-adapter"});
    auto capture = sim.StartQuorvin({"-q", "capture", "both", "a.log", "t.bin"});
    ASSERT_TRUE(capture->WaitForStdoutText(PROMPT, 20s));
    // Both files exist before any adapter does.
    ASSERT_TRUE(WaitFor([&] { return sim.FileExists("A.LOG") && sim.FileExists("T.BIN"); }));

    std::string path = sim.Control({"add", "2:00AB"});
    path.erase(path.find_last_not_of('\n') + 1);
    ASSERT_TRUE(capture->WaitForStdoutText(
        "\nNew device just added: " + path + "\nHit \"ENTER\" to exit...", 20s))
        << capture->Stdout();
    // From the pass after the message the adapter is read: older events are dropped.
    ASSERT_TRUE(WaitFor([&] { return CountReads(sim.Requests(0)) >= 4; }));
    sim.Control({"text", "0", "from the new adapter\\n"});
    ASSERT_TRUE(WaitFor([&] { return sim.ReadFile("A.LOG") == "from the new adapter\n"; }));

    EXPECT_EQ(PressEnter(*capture), 0) << capture->Stderr();
    const std::vector<std::string> requests = sim.Requests(0);
    EXPECT_EQ(requests.front(), "open VekDiagConfigure access=0x10000000 share=0x0");
    EXPECT_EQ(requests.back(), "close VekDiagTimingLog");  // the worker's device is destroyed
}

// Standard input closed reads as its end: one pass, then the capture ends. A simulator
// socket never stands in for it.
TEST(Capture, ClosedStandardInputEndsAfterOnePass) {
    Simulator sim;
    sim.Control({"text", "0", "older\\n"});
    ProcessOptions closed;
    closed.closeStdin = true;
    const ProcessResult run = sim.QuorvinWith(closed, {"-q", "capture", "a.log"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, PROMPT);
    EXPECT_TRUE(sim.FileExists("A.LOG"));
    EXPECT_EQ(sim.Served(0, "text"), "older\n");  // dropped as older events, once
    EXPECT_EQ(sim.Requests(0).back(), "close VekDiagTextLog");
}

// A capture waiting for an adapter sees one that a simulator started anew brings, after
// the one before was killed.
TEST(Capture, SeesAnAdapterArrivingAfterTheSimulatorWasRestarted) {
    Simulator sim({"--no-adapter"});
    auto capture = sim.StartQuorvin({"-q", "capture", "a.log"});
    ASSERT_TRUE(capture->WaitForStdoutText(PROMPT, 20s));
    const auto subscribed = [&] { return sim.Control({"subscribers"}) != "0\n"; };
    ASSERT_TRUE(WaitFor(subscribed));
    sim.Kill();
    sim.Restart({"--no-adapter"});
    ASSERT_TRUE(WaitFor(subscribed));
    std::string path = sim.Control({"add", "0:1A2B"});
    path.erase(path.find_last_not_of('\n') + 1);
    ASSERT_TRUE(capture->WaitForStdoutText("\nNew device just added: " + path, 20s))
        << capture->Stdout();
    ASSERT_TRUE(WaitFor([&] { return CountReads(sim.Requests(0)) >= 2; }));
    sim.Control({"text", "0", "after the restart\\n"});
    ASSERT_TRUE(WaitFor([&] { return sim.ReadFile("A.LOG") == "after the restart\n"; }));
    EXPECT_EQ(PressEnter(*capture), 0) << capture->Stderr();
}

TEST(Capture, InvalidSelectionIsAUsageErrorWithoutPrompt) {
    Simulator sim;
    auto capture = sim.StartQuorvin({"-q", "capture", "timing"});
    EXPECT_EQ(capture->Wait(20s), 2);  // no ENTER needed
    EXPECT_EQ(capture->Stdout(), USAGE_TEXT);
    EXPECT_FALSE(sim.FileExists("TIMING"));
}

TEST(Capture, NoAdapterEverIsAFailure) {
    Simulator sim({"--no-adapter"});
    const ProcessResult run = sim.Quorvin({"-q", "capture", "a.log"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, PROMPT);
    EXPECT_EQ(run.err, "no adapter found\n");
    EXPECT_TRUE(sim.FileExists("A.LOG"));
}

TEST(Capture, AdapterThatStopsAnsweringIsReportedOnceAndEnterStillEnds) {
    Simulator sim;
    auto capture = sim.StartQuorvin({"-q", "capture", "both", "a.log", "t.bin"});
    ASSERT_TRUE(capture->WaitForStdoutText(PROMPT, 20s));
    ASSERT_TRUE(WaitFor([&] { return CountReads(sim.Requests(0)) >= 4; }));
    sim.Control({"text", "0", "before removal\\n"});
    ASSERT_TRUE(WaitFor([&] { return sim.ReadFile("A.LOG") == "before removal\n"; }));
    sim.Control({"remove", "0"});
    ASSERT_TRUE(WaitFor([&] { return !capture->Stderr().empty(); }));
    std::this_thread::sleep_for(1500ms);  // more passes: still one line
    EXPECT_EQ(PressEnter(*capture), 1);
    const std::string err = WithoutDates(capture->Stderr());
    EXPECT_EQ(err.rfind("the adapter stopped answering: ", 0), 0u) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_EQ(sim.ReadFile("A.LOG"), "before removal\n");
}

// The new-device message comes once what the adapter held is dropped: what it logs
// after the message is kept.
TEST(Capture, WhatANewAdapterLogsAfterTheMessageIsKept) {
    Simulator sim({"--no-adapter"});
    auto capture = sim.StartQuorvin({"-q", "capture", "a.log"});
    ASSERT_TRUE(capture->WaitForStdoutText(PROMPT, 20s));
    sim.Control({"add", "0:1A2B"});
    ASSERT_TRUE(capture->WaitForStdoutText("Hit \"ENTER\" to exit...", 20s));
    sim.Control({"text", "0", "right after the message\\n"});
    ASSERT_TRUE(WaitFor([&] { return sim.ReadFile("A.LOG") == "right after the message\n"; }));
    EXPECT_EQ(PressEnter(*capture), 0);
    EXPECT_EQ(capture->Stderr(), "");
}

// Without -d the prompt comes once what the driver held is dropped, however slowly it
// answers: what is logged once the prompt shows is kept.
TEST(Capture, WhatIsLoggedOnceThePromptShowsIsKept) {
    Simulator sim({"--log-size", "1048576"});
    sim.Control({"fill", "0", "timing", "1048576"});
    sim.Control({"delay", "0", "2"});
    auto capture = sim.StartQuorvin({"-q", "capture", "both", "a.log", "t.bin"});
    ASSERT_TRUE(capture->WaitForStdoutText(PROMPT, 60s));
    sim.Control({"text", "0", "logged after the prompt\\n"});
    ASSERT_TRUE(WaitFor([&] { return sim.ReadFile("A.LOG") == "logged after the prompt\n"; }));
    EXPECT_EQ(PressEnter(*capture), 0);
    EXPECT_EQ(sim.ReadFile("T.BIN"), "");  // the older records were dropped
}

// A driver that answers slowly and holds more than a second of reading: the dropping of
// older events ends with the block that ends its second, not with the turn of 64 blocks
// in hand; so does a capture's duration.
TEST(Capture, TheSecondOfDroppingEndsAfterAnyBlock) {
    Simulator sim({"--log-size", "4000000"});
    sim.Control({"fill", "0", "text", "2000000"});
    sim.Control({"fill", "0", "timing", "2000000"});
    sim.Control({"delay", "0", "100"});
    auto capture = sim.StartQuorvin({"-q", "capture", "-t:1", "both", "a.log", "t.bin"});
    ASSERT_TRUE(capture->WaitForStdoutText(PROMPT, 60s));
    const size_t atPrompt = CountReads(sim.Requests(0));
    EXPECT_LT(atPrompt, 64u);
    EXPECT_EQ(capture->Wait(60s), 0) << capture->Stderr();
    EXPECT_LT(CountReads(sim.Requests(0)) - atPrompt, 64u);
}

// A driver that never runs dry (it logs faster than it answers): the dropping of older
// events is bounded, and every byte after what was dropped reaches the files.
TEST(Capture, AFloodingDriverIsCapturedWithoutOlderEvents) {
    Simulator sim({"--log-size", "4194304"});
    sim.Control({"delay", "0", "1"});
    sim.Control({"stream", "0", "text", "50000000"});
    sim.Control({"stream", "0", "timing", "50000000"});
    auto capture = sim.StartQuorvin({"-q", "capture", "both", "a.log", "t.bin"});
    ASSERT_TRUE(capture->WaitForStdoutText(PROMPT, 60s));
    ASSERT_TRUE(WaitFor([&] {
        return sim.ReadFile("A.LOG").size() > 100000 && sim.ReadFile("T.BIN").size() > 100000;
    }));
    EXPECT_EQ(PressEnter(*capture), 0) << capture->Stderr();
    sim.Control({"stream", "0", "text", "stop"});
    sim.Control({"stream", "0", "timing", "stop"});
    for (const auto& [file, log] : {std::pair{"A.LOG", "text"}, std::pair{"T.BIN", "timing"}}) {
        const std::string kept = sim.ReadFile(file);
        const std::string served = sim.Served(0, log);
        ASSERT_LE(kept.size(), served.size()) << log;
        EXPECT_TRUE(served.compare(served.size() - kept.size(), kept.size(), kept) == 0) << log;
    }
}

// A path with characters the narrow character set lacks: the message shows them as '?',
// and the channels under the narrowed path cannot be opened, which is said.
TEST(Capture, ArrivalWhosePathTheNarrowCharacterSetCannotHold) {
    Simulator sim({"--no-adapter"});
    auto capture = sim.StartQuorvin({"-q", "capture", "a.log"});
    ASSERT_TRUE(capture->WaitForStdoutText(PROMPT, 20s));
    sim.Control({"add", "0:1A2B", "--path", "\\\\?\\ROOT#MEDIA#\u03a90001#{7f95af7c}"});
    const std::string narrowed = "\\\\?\\ROOT#MEDIA#?0001#{7f95af7c}";
    ASSERT_TRUE(capture->WaitForStdoutText(
        "\nNew device just added: " + narrowed + "\nHit \"ENTER\" to exit...", 20s))
        << capture->Stdout();
    ASSERT_TRUE(WaitFor([&] { return !capture->Stderr().empty(); }));
    EXPECT_EQ(PressEnter(*capture), 1);
    EXPECT_EQ(capture->Stderr(), "cannot open " + narrowed + "\\VekDiagTextLog\n");
}

TEST(Capture, ArrivedAdapterWhoseChannelsCannotBeOpened) {
    Simulator sim({"--no-adapter"});
    auto capture = sim.StartQuorvin({"-q", "capture", "t.log"});
    ASSERT_TRUE(capture->WaitForStdoutText(PROMPT, 20s));
    sim.Control({"add", "0:1A2B"});
    sim.Control({"fault", "0", "open-text"});
    ASSERT_TRUE(capture->WaitForStdoutText("Hit \"ENTER\" to exit...", 20s));
    ASSERT_TRUE(WaitFor([&] { return !capture->Stderr().empty(); }));
    EXPECT_EQ(PressEnter(*capture), 1);
    EXPECT_EQ(capture->Stderr().rfind("cannot open ", 0), 0u) << capture->Stderr();
    EXPECT_TRUE(sim.FileExists("T.LOG"));
    // Left to end by itself, a capture that cannot go on ends at once: it waits for no
    // ENTER and not for its hour.
    const ProcessResult alone = sim.Quorvin({"-q", "capture", "-t:1H", "u.log"});
    EXPECT_EQ(alone.status, 1) << alone.err;
    EXPECT_EQ(alone.err.rfind("cannot open ", 0), 0u) << alone.err;
    EXPECT_EQ(LineCount(alone.err), 1u) << alone.err;
}

}  // namespace
