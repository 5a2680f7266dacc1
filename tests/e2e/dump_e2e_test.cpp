#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/texts.h"
#include "tests/support/simulator.h"

namespace {

int CountErrorsReported(const std::string& out) {
    int total = 0;
    const std::string prefix = "detected ";
    for (size_t at = out.find(prefix); at != std::string::npos; at = out.find(prefix, at + 1)) {
        total += std::stoi(out.substr(at + prefix.size()));
    }
    return total;
}

TEST(DumpCommand, BothLogsToFiles) {
    Simulator sim;
    sim.Control({"text", "0", "first line\\nsecond", "line\\n"});
    sim.Control({"timing", "0", "300", "--corrupt", "4"});
    const ProcessResult run = sim.Quorvin({"-q", "dump", "both", "a.log", "t.bin"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(CountErrorsReported(run.out), 4);
    EXPECT_EQ(sim.ReadFile("A.LOG"), "first line\nsecond line\n");
    const std::string served = sim.Served(0, "timing");
    EXPECT_GT(served.size(), 300u * 14);
    EXPECT_EQ(sim.ReadFile("T.BIN"), served);
    EXPECT_FALSE(sim.FileExists("a.log"));  // names are upper-cased
}

TEST(DumpCommand, SelectionsAsWholeCommandLines) {
    struct Case {
        std::vector<std::string> arguments;
        int status;
        std::vector<std::string> created;
        bool textOnConsole;
    };
    const Case cases[] = {
        {{"dump"}, 0, {}, true},
        {{"dump", "text"}, 0, {}, true},
        {{"dump", "text", "a.log"}, 0, {"A.LOG"}, false},
        {{"dump", "text", "a.log", "b.bin"}, 0, {}, true},
        {{"dump", "timing"}, 2, {}, false},
        {{"dump", "timing", "t.bin"}, 0, {"T.BIN"}, false},
        {{"dump", "both", "t.bin"}, 0, {"T.BIN"}, true},
        {{"dump", "both", "a.log", "t.bin"}, 0, {"A.LOG", "T.BIN"}, false},
        {{"dump", "both", "a", "b", "c"}, 2, {}, false},
        {{"dump", "a.log"}, 0, {"A.LOG"}, false},
        {{"dump", "a.log", "b.bin"}, 2, {}, false},
    };
    for (const Case& c : cases) {
        Simulator sim;
        sim.Control({"text", "0", "marker\\n"});
        std::vector<std::string> arguments = {"-q"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        const ProcessResult run = sim.Quorvin(arguments);
        const std::string line = testing::PrintToString(c.arguments);
        EXPECT_EQ(run.status, c.status) << line;
        for (const char* name : {"A.LOG", "T.BIN", "B.BIN", "A", "B", "C"}) {
            const bool wanted =
                std::find(c.created.begin(), c.created.end(), name) != c.created.end();
            EXPECT_EQ(sim.FileExists(name), wanted) << line << " " << name;
        }
        if (c.status == 2) {
            EXPECT_EQ(run.out, USAGE_TEXT) << line;
            EXPECT_TRUE(sim.Requests(0).size() <= 3) << line;  // nothing read
        } else {
            EXPECT_EQ(run.out == "marker\n", c.textOnConsole) << line;
        }
        if (sim.FileExists("A.LOG")) {
            EXPECT_EQ(sim.ReadFile("A.LOG"), "marker\n") << line;
        }
    }
}

TEST(DumpCommand, EmptyTextLogStillCreatesTheFile) {
    Simulator sim;
    const ProcessResult run = sim.Quorvin({"-q", "dump", "Text", "empty.log"});
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(sim.FileExists("EMPTY.LOG"));
    EXPECT_EQ(sim.ReadFile("EMPTY.LOG"), "");
    EXPECT_EQ(CountReads(sim.Requests(0)), 1u);
}

TEST(DumpCommand, UnopenableTimingChannelLeavesAnEmptyFileAndFails) {
    Simulator sim;
    sim.Control({"text", "0", "still here\\n"});
    sim.Control({"timing", "0", "10"});
    sim.Control({"fault", "0", "open-timing"});
    const ProcessResult run = sim.Quorvin({"-q", "dump", "both", "a.log", "t.bin"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("cannot open "), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("\\VekDiagTimingLog"), std::string::npos) << run.err;
    EXPECT_EQ(sim.ReadFile("A.LOG"), "still here\n");  // the text part is not held back
    EXPECT_TRUE(sim.FileExists("T.BIN"));
    EXPECT_EQ(sim.ReadFile("T.BIN"), "");
}

TEST(DumpCommand, TimingFileEqualsTheServedStreamAcrossManyBlocks) {
    Simulator sim({"--log-size", "1048576"});
    sim.Control({"fill", "0", "timing", "1000000"});
    const ProcessResult run = sim.Quorvin({"-q", "dump", "timing", "t.bin"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "");
    const std::string served = sim.Served(0, "timing");
    EXPECT_EQ(served.size(), 1000000u);
    EXPECT_EQ(sim.ReadFile("T.BIN"), served);
    EXPECT_GE(CountReads(sim.Requests(0)), 1000000u / 4096 + 1);
}

TEST(DumpCommand, StreamThatBeginsMidRecordIsCopiedWithoutErrors) {
    Simulator sim({"--log-size", "5000"});
    sim.Control({"timing", "0", "2001"});  // far more than the log holds: the oldest is gone
    const ProcessResult run = sim.Quorvin({"-q", "dump", "timing", "t.bin"});
    EXPECT_EQ(run.out, "");
    const std::string served = sim.Served(0, "timing");
    EXPECT_EQ(served.size(), 5000u);
    EXPECT_EQ(sim.ReadFile("T.BIN"), served);
    EXPECT_NE(static_cast<uint8_t>(served[0]), 0xA0);  // it really begins inside a record
}

TEST(DumpCommand, TextGoesToTheConsoleBeforeAnyTimingErrorLine) {
    Simulator sim;
    sim.Control({"text", "0", "the text log\\n"});
    sim.Control({"timing", "0", "50", "--corrupt", "2"});
    const ProcessResult run = sim.Quorvin({"-q", "dump", "both", "t.bin"});
    EXPECT_EQ(run.out.rfind("the text log\n", 0), 0u) << run.out;
    EXPECT_EQ(CountErrorsReported(run.out), 2);
}

TEST(DumpCommand, NoAdapterCreatesNothingAndSaysSo) {
    Simulator sim({"--no-adapter"});
    const ProcessResult run = sim.Quorvin({"dump", "both", "a.log", "t.bin"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, BANNER_TEXT);
    EXPECT_EQ(run.err, "no adapter found\n");
    EXPECT_FALSE(sim.FileExists("A.LOG"));
    EXPECT_FALSE(sim.FileExists("T.BIN"));
    // An invalid selection is a usage error even without an adapter.
    const ProcessResult invalid = sim.Quorvin({"-q", "dump", "timing"});
    EXPECT_EQ(invalid.status, 2);
    EXPECT_EQ(invalid.out, USAGE_TEXT);
}

TEST(DumpCommand, PartialDataOfAFailedReadReachesTheFile) {
    Simulator sim;
    sim.Control({"timing", "0", "400"});
    sim.Control({"fault", "0", "partial-read"});
    const ProcessResult run = sim.Quorvin({"-q", "dump", "timing", "t.bin"});
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(sim.ReadFile("T.BIN"), sim.Served(0, "timing"));
    const std::vector<std::string> requests = sim.Requests(0);
    EXPECT_NE(std::find_if(requests.begin(), requests.end(),
                           [](const std::string& line) {
                               return line.rfind("ioctl 0xC3516008", 0) == 0 &&
                                      line.find("-> error 234") != std::string::npos;
                           }),
              requests.end());
}

// With standard output closed the text log must not land in a simulator socket that took
// descriptor 1: the run ends, and the driver saw nothing but the program's own requests.
TEST(DumpCommand, ClosedStandardOutputKeepsTheLogOutOfTheSimulator) {
    Simulator sim;
    sim.Control({"fill", "0", "text", "10000"});
    ProcessOptions closed;
    closed.closeStdout = true;
    const ProcessResult run = sim.QuorvinWith(closed, {"-q", "dump"});
    EXPECT_EQ(run.status, 1) << "the dump did not end, or did not fail";
    EXPECT_EQ(run.err, "cannot write standard output: Bad file descriptor\n");
    // The first block could not be written; the rest stays in the driver.
    EXPECT_EQ(sim.Served(0, "text").size(), 4096u);
    // Bytes that are not a request make the simulator drop the channel at once; here the
    // text channel stays open until the program closes it, after its last read. The
    // configure channel was let go once the adapter was chosen.
    const std::vector<std::string> requests = sim.Requests(0);
    ASSERT_GE(requests.size(), 4u);
    EXPECT_EQ(requests[2], "close VekDiagConfigure");
    for (size_t i = 3; i + 1 < requests.size(); ++i) {
        EXPECT_NE(requests[i].rfind("close ", 0), 0u) << i << ": " << requests[i];
    }
    EXPECT_EQ(requests.back(), "close VekDiagTextLog");
}

TEST(DumpCommand, FileThatCannotBeCreatedIsReportedAndTheOtherLogStillRuns) {
    Simulator sim;
    sim.Control({"timing", "0", "20"});
    const ProcessResult run = sim.Quorvin({"-q", "dump", "both", "no/such/dir/a.log", "t.bin"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.rfind("cannot create NO/SUCH/DIR/A.LOG: ", 0), 0u) << run.err;
    EXPECT_EQ(sim.ReadFile("T.BIN"), sim.Served(0, "timing"));
}

}  // namespace
