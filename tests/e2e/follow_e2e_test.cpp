// The adapter a command works on, chosen by its adapter index (-a), and a capture that
// follows its adapter when it leaves and returns (-f), with arrivals notified or, where
// the system has no notifications, found by enumerating.
#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <string>
#include <vector>

#include "tests/support/output_lines.h"
#include "tests/support/simulator.h"

namespace {

using namespace std::chrono_literals;

const std::string PROMPT = "Hit \"ENTER\" to end log capture...";

std::string Trimmed(std::string text) {
    text.erase(text.find_last_not_of('\n') + 1);
    return text;
}

bool Said(Process& capture, const std::string& text) {
    return capture.Stderr().find(text) != std::string::npos;
}

// The adapter was looked at (asked for its index) and let go. It may be looked at once
// more in the enumeration after an arrival of another index, so only a last request that
// closes the channel says that it was let go.
bool LookedAtAndLetGo(Simulator& sim, int adapter) {
    const std::vector<std::string> requests = sim.Requests(adapter);
    return requests.size() >= 3 && requests.back() == "close VekDiagConfigure";
}

TEST(ChosenAdapter, EveryCommandWorksOnTheAdapterWithThatIndex) {
    Simulator sim({"--adapter", "0:1A2B", "--adapter", "5:00AB"});
    sim.Control({"text", "1", "from index 5\\n"});
    const ProcessResult dump = sim.Quorvin({"-q", "dump", "-a:5"});
    EXPECT_EQ(dump.status, 0) << dump.err;
    EXPECT_EQ(dump.out, "from index 5\n");
    EXPECT_EQ(CountReads(sim.Requests(0)), 0u);
    EXPECT_EQ(sim.Quorvin({"-q", "set", "/A:5", "intimer", "on"}).status, 0);
    EXPECT_EQ(sim.Control({"options", "1"}), "4\n");
    EXPECT_EQ(sim.Control({"options", "0"}), "0\n");
    EXPECT_EQ(sim.Quorvin({"-q", "clearcache", "-a:5"}).status, 0);
    EXPECT_EQ(sim.Control({"clearcount", "1"}), "1\n");
    EXPECT_EQ(sim.Control({"clearcount", "0"}), "0\n");
    EXPECT_EQ(sim.Quorvin({"-q", "list", "-a:5"}).out.find("2 devices found\n"), 0u);

    for (const char* command : {"dump", "set", "clearcache"}) {
        const ProcessResult none = sim.Quorvin({"-q", command, "-a:65535"});  // the highest
        EXPECT_EQ(none.status, 1) << command;
        EXPECT_EQ(none.err, "no adapter with index 65535\n") << command;
        const ProcessResult bad = sim.Quorvin({"-q", command, "-a:five"});
        EXPECT_EQ(bad.status, 2) << command;
        EXPECT_EQ(LineCount(bad.err), 1u) << command;
    }
    EXPECT_EQ(sim.Control({"clearcount", "0"}), "0\n");
}

// A capture of an adapter index that is not there waits for it: an adapter with another
// index is not taken up, also when it arrived last of two, nor while its adapter is away.
TEST(ChosenAdapter, CaptureWaitsForItsAdapter) {
    Simulator sim({"--adapter", "0:1A2B"});
    auto capture = sim.StartQuorvin({"-q", "capture", "-f", "-a:3", "a.log"});
    ASSERT_TRUE(capture->WaitForStdoutText(PROMPT, 20s));
    sim.Control({"add", "4:1A2B"});
    ASSERT_TRUE(WaitFor([&] { return LookedAtAndLetGo(sim, 1); }));
    const std::string path = Trimmed(sim.Control({"add", "3:1A2B"}));
    sim.Control({"add", "6:1A2B"});
    ASSERT_TRUE(capture->WaitForStdoutText("New device just added: " + path, 20s))
        << capture->Stdout();
    sim.Control({"text", "2", "index 3\\n"});
    ASSERT_TRUE(WaitFor([&] { return sim.ReadFile("A.LOG") == "index 3\n"; }));

    sim.Control({"remove", "2"});
    ASSERT_TRUE(WaitFor([&] { return Said(*capture, "the adapter left: "); }));
    sim.Control({"add", "4:1A2B"});  // now the fourth, after 0, 4 and 6
    ASSERT_TRUE(WaitFor([&] { return LookedAtAndLetGo(sim, 3); }));
    const std::string back = Trimmed(sim.Control({"add", "3:1A2B"}));
    ASSERT_TRUE(WaitFor([&] { return Said(*capture, "the adapter is back: " + back); }))
        << capture->Stderr();
    sim.Control({"text", "4", "back\\n"});
    ASSERT_TRUE(WaitFor([&] { return sim.ReadFile("A.LOG") == "index 3\nback\n"; }));
    capture->WriteStdin("\n");
    EXPECT_EQ(capture->Wait(30s), 0) << capture->Stderr();
    EXPECT_EQ(LineCount(capture->Stderr()), 2u) << capture->Stderr();
    for (const size_t other : {0, 1, 2, 3}) {
        EXPECT_EQ(CountReads(sim.Requests(other)), 0u) << other;
    }
}

// A capture holds its own adapter's logs and nothing more: beside it the other commands
// work on either adapter, and a second capture takes the other one.
TEST(ChosenAdapter, OtherCommandsAndASecondCaptureRunBesideACapture) {
    Simulator sim({"--adapter", "0:1A2B", "--adapter", "1:00AB"});
    auto first = sim.StartQuorvin({"-q", "capture", "-a:0", "a0.log"});
    ASSERT_TRUE(first->WaitForStdoutText(PROMPT, 20s));
    const ProcessResult list = sim.Quorvin({"-q", "list"});
    EXPECT_EQ(list.status, 0) << list.err;
    EXPECT_EQ(list.out,
              "2 devices found\n"
              "0 adapter index 0, adapter type VEK1A2B\n"
              "1 adapter index 1, adapter type VEK00AB\n");
    EXPECT_EQ(sim.Quorvin({"-q", "set", "loglevel", "5"}).status, 0);
    EXPECT_EQ(sim.Control({"loglevel", "0"}), "5\n");
    EXPECT_EQ(sim.Quorvin({"-q", "set", "-a:1", "intimer", "on"}).status, 0);
    EXPECT_EQ(sim.Control({"options", "1"}), "4\n");
    EXPECT_EQ(sim.Quorvin({"-q", "clearcache", "-a:1"}).status, 0);
    EXPECT_EQ(sim.Quorvin({"-q", "clearcache"}).status, 0);
    EXPECT_EQ(sim.Control({"clearcount", "0"}) + sim.Control({"clearcount", "1"}), "1\n1\n");

    sim.Control({"text", "0", "on adapter 0\\n"});
    sim.Control({"text", "1", "on adapter 1\\n"});
    auto second = sim.StartQuorvin({"-q", "capture", "-a:1", "-d", "-t:2", "a1.log"});
    EXPECT_EQ(second->Wait(30s), 0) << second->Stderr();
    ASSERT_TRUE(WaitFor([&] { return sim.ReadFile("A0.LOG") == "on adapter 0\n"; }));
    first->WriteStdin("\n");
    EXPECT_EQ(first->Wait(30s), 0) << first->Stderr();
    EXPECT_EQ(sim.ReadFile("A0.LOG"), "on adapter 0\n");
    EXPECT_EQ(sim.ReadFile("A1.LOG"), "on adapter 1\n");
}

class FollowTest : public ::testing::TestWithParam<bool> {};

// The adapter leaves and returns twice, the second time at once: the files stay open
// and go on, what it logged while the capture waited is kept, and a record cut by the
// departure is no framing error. Notified arrivals, or where registrations are refused,
// arrivals found by enumerating.
TEST_P(FollowTest, FollowsItsAdapterAwayAndBack) {
    const bool notified = GetParam();
    Simulator sim;
    if (!notified) {
        sim.Control({"pnp", "refuse-registration"});
    }
    auto capture = sim.StartQuorvin({"-q", "capture", "-f", "-d", "both", "a.log", "t.bin"});
    ASSERT_TRUE(capture->WaitForStdoutText(PROMPT, 20s));
    std::string text;
    std::string timing;
    for (int round = 0; round < 3; ++round) {
        sim.Control({"text", "0", "round " + std::to_string(round) + "\\n"});
        sim.Control({"timing", "0", "20"});
        sim.Control({"raw", "0", "timing", "A0F5000102030405"});  // a record cut short
        ASSERT_TRUE(WaitFor([&] { return sim.Served(0, "timing").size() > 280; }));
        if (round == 2) {
            break;
        }
        text += sim.Served(0, "text");
        timing += sim.Served(0, "timing");
        sim.Control({"remove", "0"});
        if (round == 0) {
            ASSERT_TRUE(WaitFor([&] { return Said(*capture, "the adapter left: "); }));
        }
        const std::string path = Trimmed(sim.Control({"add", "0:1A2B"}));
        sim.Control({"text", "0", "while away\\n"});
        ASSERT_TRUE(WaitFor([&] {
            return LineCount(capture->Stderr()) == static_cast<size_t>(2 * round + 2);
        })) << capture->Stderr();
        EXPECT_TRUE(Said(*capture, "the adapter is back: " + path)) << capture->Stderr();
    }
    text += sim.Served(0, "text");
    timing += sim.Served(0, "timing");
    ASSERT_TRUE(WaitFor([&] { return sim.ReadFile("A.LOG") == text; })) << sim.ReadFile("A.LOG");
    ASSERT_TRUE(WaitFor([&] { return sim.ReadFile("T.BIN") == timing; }));
    capture->WriteStdin("\n");
    EXPECT_EQ(capture->Wait(30s), 0) << capture->Stderr();
    EXPECT_EQ(capture->Stdout(), PROMPT);  // no framing error
    EXPECT_EQ(LineCount(capture->Stderr()), 4u) << capture->Stderr();
}

INSTANTIATE_TEST_SUITE_P(Arrivals, FollowTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Notified" : "Enumerated"; });

// A reset that asks first (a driver update, disable and enable): the capture lets go of
// its handles at once, so the reset is never vetoed. Followed, the adapter leaves and is
// back, the files holding everything it logged before and after, the timing piece with
// the departure ending there; not followed, the capture says so and ends by itself.
// Another program's handle vetoes the reset: the capture reads on and loses nothing.
TEST(Reset, ACaptureNeverStandsInTheWayOfAReset) {
    Simulator sim;
    auto followed =
        sim.StartQuorvin({"-q", "capture", "-f", "-d", "-s:64K", "both", "f.log", "f.bin"});
    ASSERT_TRUE(followed->WaitForStdoutText(PROMPT, 20s));
    sim.Control({"text", "0", "before\\n"});
    sim.Control({"timing", "0", "30"});
    ASSERT_TRUE(WaitFor([&] { return sim.ReadFile("F-00001.LOG") == "before\n"; }));

    sim.Control({"hold", "0", "text"});
    EXPECT_EQ(sim.TryControl({"restart", "0"}).status, 1);
    sim.Control({"release", "0"});
    sim.Control({"text", "0", "after the veto\\n"});
    ASSERT_TRUE(WaitFor([&] { return sim.ReadFile("F-00001.LOG") == "before\nafter the veto\n"; }));

    const ProcessResult restart = sim.TryControl({"restart", "0"});
    EXPECT_EQ(restart.status, 0) << restart.err;
    sim.Control({"text", "0", "after the reset\\n"});
    sim.Control({"timing", "0", "30"});
    ASSERT_TRUE(WaitFor([&] { return sim.ReadFile("F-00002.LOG") == "after the reset\n"; }))
        << followed->Stderr();
    ASSERT_TRUE(WaitFor([&] {
        return sim.ReadFile("F-00001.BIN") + sim.ReadFile("F-00002.BIN") == sim.Served(0, "timing");
    }));
    EXPECT_EQ(sim.Served(0, "text"), "before\nafter the veto\nafter the reset\n");
    followed->WriteStdin("\n");
    EXPECT_EQ(followed->Wait(30s), 0) << followed->Stderr();
    const std::vector<std::string> said = OutputLines(WithoutDates(followed->Stderr()));
    ASSERT_EQ(said.size(), 2u) << followed->Stderr();
    EXPECT_EQ(said[0].rfind("the adapter left: ", 0), 0u);
    EXPECT_EQ(said[1].rfind("the adapter is back: ", 0), 0u);
    EXPECT_EQ(RunProcess({QUORVIN_CHECK_EXE, sim.FilePath("F-00001.BIN")}).status, 0);

    auto ended = sim.StartQuorvin({"-q", "capture", "-t:60", "e.log"});
    ASSERT_TRUE(ended->WaitForStdoutText(PROMPT, 20s));
    EXPECT_EQ(sim.TryControl({"restart", "0"}).status, 0);
    EXPECT_EQ(ended->Wait(30s), 1);
    const std::string err = WithoutDates(ended->Stderr());
    EXPECT_EQ(err.rfind("the adapter was removed: ", 0), 0u) << err;
    EXPECT_EQ(LineCount(err), 1u) << err;
}

// Without -a the followed adapter is the one first read: while it is away another one,
// now the first present, is not taken for it; the same index arriving again is. The
// departure is said with the local date and time first.
TEST(Follow, FollowsItsOwnAdapterNotTheFirstPresent) {
    Simulator sim({"--adapter", "0:1A2B", "--adapter", "1:00AB"});
    sim.Control({"pnp", "refuse-registration"});  // every pass enumerates the adapters
    auto capture = sim.StartQuorvin({"-q", "capture", "-f", "o.log"});
    ASSERT_TRUE(capture->WaitForStdoutText(PROMPT, 20s));
    sim.Control({"text", "0", "from adapter zero\\n"});
    ASSERT_TRUE(WaitFor([&] { return sim.ReadFile("O.LOG") == "from adapter zero\n"; }));
    const size_t looked = sim.Requests(1).size();
    sim.Control({"remove", "0"});
    ASSERT_TRUE(WaitFor([&] { return Said(*capture, "the adapter left: "); }));
    EXPECT_TRUE(std::regex_search(
        capture->Stderr(),
        std::regex("^\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2} the adapter left: ")))
        << capture->Stderr();
    sim.Control({"text", "0", "from adapter one\\n"});  // index 1, the first present now
    ASSERT_TRUE(WaitFor([&] { return sim.Requests(0).size() > looked + 2; }));  // asked again
    EXPECT_EQ(LineCount(capture->Stderr()), 1u) << capture->Stderr();
    const std::string path = Trimmed(sim.Control({"add", "0:1A2B"}));
    ASSERT_TRUE(WaitFor([&] { return Said(*capture, "the adapter is back: "); }));
    sim.Control({"text", "1", "zero again\\n"});
    ASSERT_TRUE(WaitFor([&] { return sim.ReadFile("O.LOG") == "from adapter zero\nzero again\n"; }))
        << sim.ReadFile("O.LOG");
    capture->WriteStdin("\n");
    EXPECT_EQ(capture->Wait(30s), 0) << capture->Stderr();
    const std::vector<std::string> said = OutputLines(WithoutDates(capture->Stderr()));
    ASSERT_EQ(said.size(), 2u) << capture->Stderr();
    EXPECT_EQ(said[1], "the adapter is back: " + path);
    EXPECT_EQ(CountReads(sim.Requests(0)), 0u);  // index 1 was never read
}

// Without notifications a capture that starts before its adapter finds it all the same.
TEST(Follow, AnAdapterAbsentAtTheStartIsFoundWithoutNotifications) {
    Simulator sim({"--no-adapter"});
    sim.Control({"pnp", "refuse-registration"});
    auto capture = sim.StartQuorvin({"-q", "capture", "a.log"});
    ASSERT_TRUE(capture->WaitForStdoutText(PROMPT, 20s));
    const std::string path = Trimmed(sim.Control({"add", "0:1A2B"}));
    ASSERT_TRUE(capture->WaitForStdoutText(
        "\nNew device just added: " + path + "\nHit \"ENTER\" to exit...", 20s));
    sim.Control({"text", "0", "found\\n"});
    ASSERT_TRUE(WaitFor([&] { return sim.ReadFile("A.LOG") == "found\n"; }));
    capture->WriteStdin("\n");
    EXPECT_EQ(capture->Wait(30s), 0) << capture->Stderr();
}

// The adapter leaves while the first pass drops what it held, then the simulator itself
// is restarted; a capture that ends while its adapter is away says so and fails.
TEST(Follow, DepartureInTheFirstPassAndARestart) {
    Simulator sim({"--log-size", "2000000"});
    sim.Control({"fill", "0", "text", "1000000"});
    sim.Control({"delay", "0", "5"});
    auto capture = sim.StartQuorvin({"-q", "capture", "-f", "a.log"});
    ASSERT_TRUE(WaitFor([&] { return !sim.Served(0, "text").empty(); }));
    sim.Control({"remove", "0"});
    ASSERT_TRUE(WaitFor([&] { return Said(*capture, "the adapter left: "); }));
    ASSERT_TRUE(capture->WaitForStdoutText(PROMPT, 20s));
    sim.Control({"add", "0:1A2B"});
    ASSERT_TRUE(WaitFor([&] { return Said(*capture, "the adapter is back: "); }));
    sim.Control({"text", "0", "one\\n"});
    ASSERT_TRUE(WaitFor([&] { return sim.ReadFile("A.LOG") == "one\n"; }));

    sim.Kill();
    ASSERT_TRUE(WaitFor([&] { return LineCount(capture->Stderr()) == 3; }));
    sim.Restart({"--no-adapter"});
    ASSERT_TRUE(WaitFor([&] { return sim.Control({"subscribers"}) != "0\n"; }));
    sim.Control({"add", "0:1A2B"});
    ASSERT_TRUE(WaitFor([&] { return LineCount(capture->Stderr()) == 4; }));
    sim.Control({"text", "0", "two\\n"});
    ASSERT_TRUE(WaitFor([&] { return sim.ReadFile("A.LOG") == "one\ntwo\n"; }));

    sim.Control({"remove", "0"});
    ASSERT_TRUE(WaitFor([&] { return LineCount(capture->Stderr()) == 5; }));
    capture->WriteStdin("\n");
    EXPECT_EQ(capture->Wait(30s), 1);
    const std::vector<std::string> said = OutputLines(WithoutDates(capture->Stderr()));
    ASSERT_EQ(said.size(), 6u) << capture->Stderr();
    EXPECT_EQ(said.back(), "the capture ended while the adapter was away");
}

}  // namespace
