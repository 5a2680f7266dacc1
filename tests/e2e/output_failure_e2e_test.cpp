// Output that cannot be written: standard output on a full device or a closed pipe, a
// log file on a full device. Each failure is one line on standard error, with the
// reason of the first failed write, and the run fails; nothing is read from the driver
// that could not be written.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/output_lines.h"
#include "tests/support/simulator.h"

namespace {

using Lines = std::vector<std::string>;

TEST(OutputFailure, StandardOutputThatCannotBeWrittenFailsEveryCommandOnce) {
    struct Case {
        StdoutKind kind;
        const char* reason;
    };
    const Case cases[] = {{StdoutKind::FullDevice, "No space left on device"},
                          {StdoutKind::ClosedPipe, "Broken pipe"}};
    const Lines commands[] = {{"help"}, {"list"}, {"set"}, {"dump"}, {"capture", "-d"}};
    for (const Case& output : cases) {
        for (const Lines& command : commands) {
            Simulator sim;
            sim.Control({"fill", "0", "text", "60000"});
            const ProcessResult run = sim.Quorvin(command, "", output.kind);
            const std::string what = testing::PrintToString(command) + " to " + output.reason;
            EXPECT_EQ(run.status, 1) << what;
            EXPECT_EQ(run.err, std::string("cannot write standard output: ") + output.reason + "\n")
                << what;
        }
    }
}

TEST(OutputFailure, ATextLogThatCannotBeWrittenIsLeftInTheDriver) {
    Simulator sim;
    sim.Control({"fill", "0", "text", "60000"});
    const ProcessResult run = sim.Quorvin({"-q", "dump"}, "", StdoutKind::FullDevice);
    EXPECT_EQ(run.status, 1);
    // One block was read and could not be written; the rest stays for the next reader.
    EXPECT_EQ(sim.Served(0, "text").size(), 4096u);
    const ProcessResult again = sim.Quorvin({"-q", "dump"});
    EXPECT_EQ(again.out.size(), 60000u - 4096u);
}

TEST(OutputFailure, ALogFileOnAFullDeviceIsReportedOnceAndTheOtherLogGoesOn) {
    Simulator sim;
    ASSERT_EQ(symlink("/dev/full", sim.FilePath("A.LOG").c_str()), 0);
    auto capture = sim.StartQuorvin({"-q", "capture", "-d", "both", "a.log", "t.bin"});
    size_t timing = 0;
    for (int round = 0; round < 3; ++round) {
        sim.Control({"fill", "0", "text", "20000"});
        sim.Control({"timing", "0", "100"});
        // The next pass has read the new records and written them.
        ASSERT_TRUE(WaitFor([&] {
            const size_t served = sim.Served(0, "timing").size();
            return served > timing && sim.ReadFile("T.BIN").size() == served;
        }));
        timing = sim.Served(0, "timing").size();
    }
    capture->WriteStdin("\n");
    EXPECT_EQ(capture->Wait(std::chrono::seconds(20)), 1);
    EXPECT_EQ(capture->Stderr(), "cannot write A.LOG: No space left on device\n");
    EXPECT_EQ(sim.ReadFile("T.BIN"), sim.Served(0, "timing"));
    // The text log was read until its file failed, then left in the driver.
    EXPECT_LT(sim.Served(0, "text").size(), 60000u);
}

TEST(OutputFailure, NamesInMessagesShowControlBytesEscaped) {
    Simulator sim;
    const ProcessResult run =
        sim.Quorvin({"-q", "dump", "both", "no\nsuch\x01\x7F/a.log", "t.bin"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(LineCount(run.err), 1u) << run.err;
    EXPECT_NE(run.err.find("cannot create NO\\x0ASUCH\\x01\\x7F/A.LOG: "), std::string::npos)
        << run.err;
    const ProcessResult option = sim.Quorvin({"-q", "set", "bad\toption", "on"});
    EXPECT_EQ(option.status, 2);
    EXPECT_EQ(option.err, "unknown stream option BAD\\x09OPTION\n");
}

}  // namespace
