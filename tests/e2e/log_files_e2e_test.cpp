// The files a dump or capture writes: two names of one file are refused before anything
// is created or read, and a file that another run is writing is never taken over.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "tests/support/simulator.h"

namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

// Every spelling of one file that Linux has, for a file that exists and for one that
// does not exist yet: refused with the usage status, nothing created, nothing read.
TEST(LogFiles, TwoNamesOfOneFileAreRefusedBeforeAnythingHappens) {
    struct Spelling {
        const char* text;
        const char* timing;
        const char* file;  // as the message names it: the timing log's name
    };
    const Spelling spellings[] = {
        {"same", "SAME", "SAME"},
        {"./same", "same", "SAME"},
        {"sub/../x", "x", "X"},
        {"link", "target", "TARGET"},
        {"./sub/./x", "sub//x", "SUB//X"},
        {"sub/abslink", "abstarget", "ABSTARGET"},
    };
    for (bool exists : {false, true}) {
        for (const Spelling& spelling : spellings) {
            for (const char* command : {"dump", "capture"}) {
                Simulator sim;
                sim.Control({"text", "0", "text\\n"});
                sim.Control({"timing", "0", "10"});
                ASSERT_EQ(mkdir(sim.FilePath("SUB").c_str(), 0755), 0);
                ASSERT_EQ(symlink("TARGET", sim.FilePath("LINK").c_str()), 0);  // dangling
                // An absolute target, from a link in another folder.
                ASSERT_EQ(
                    symlink(sim.FilePath("ABSTARGET").c_str(), sim.FilePath("SUB/ABSLINK").c_str()),
                    0);
                const std::string file = spelling.file;
                if (exists) {
                    std::ofstream(sim.FilePath(file)) << "old";
                }
                const ProcessResult run =
                    sim.Quorvin({"-q", command, "both", spelling.text, spelling.timing});
                const std::string what = std::string(command) + " " + spelling.text + " " +
                                         spelling.timing + (exists ? " (exists)" : "");
                EXPECT_EQ(run.status, 2) << what;
                EXPECT_EQ(run.out, "") << what;
                EXPECT_EQ(run.err,
                          "the text log and the timing log cannot both go to " + file + "\n")
                    << what;
                EXPECT_EQ(sim.FileExists(file) ? sim.ReadFile(file) : "absent",
                          exists ? "old" : "absent")
                    << what;
                EXPECT_EQ(CountReads(sim.Requests(0)), 0u) << what;
            }
        }
    }
}

TEST(LogFiles, HardLinksOfOneFileAreOneFile) {
    Simulator sim;
    std::ofstream(sim.FilePath("ONE")) << "old";
    ASSERT_EQ(link(sim.FilePath("ONE").c_str(), sim.FilePath("TWO").c_str()), 0);
    const ProcessResult run = sim.Quorvin({"-q", "dump", "both", "one", "two"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(sim.ReadFile("ONE"), "old");
}

// A second dump or capture aimed at a running capture's files fails before it empties
// them, and the running capture loses nothing.
TEST(LogFiles, ARunningCapturesFilesAreNotTakenOver) {
    Simulator sim;
    auto capture = sim.StartQuorvin({"-q", "capture", "-d", "both", "a.log", "t.bin"});
    ASSERT_TRUE(capture->WaitForStdoutText("Hit \"ENTER\" to end log capture...", 20s));
    sim.Control({"text", "0", "first\\n"});
    sim.Control({"timing", "0", "100"});
    ASSERT_TRUE(WaitFor([&] { return sim.ReadFile("A.LOG") == "first\n"; }));
    ASSERT_TRUE(WaitFor([&] { return sim.ReadFile("T.BIN") == sim.Served(0, "timing"); }));

    const std::string inUse = ": in use by another program\n";
    const ProcessResult dump = sim.Quorvin({"-q", "dump", "both", "a.log", "t.bin"});
    EXPECT_EQ(dump.status, 1);
    EXPECT_EQ(dump.err, "cannot create A.LOG" + inUse + "cannot create T.BIN" + inUse);
    const ProcessResult second = sim.Quorvin({"-q", "capture", "both", "a.log", "t.bin"});
    EXPECT_EQ(second.status, 1);
    EXPECT_EQ(second.out, "");  // nothing to capture: no prompt
    EXPECT_EQ(second.err, dump.err);
    const ProcessResult oneOfThem = sim.Quorvin({"-q", "dump", "timing", "t.bin"});
    EXPECT_EQ(oneOfThem.status, 1);

    sim.Control({"text", "0", "second\\n"});
    sim.Control({"timing", "0", "100"});
    ASSERT_TRUE(WaitFor([&] { return sim.ReadFile("A.LOG") == "first\nsecond\n"; }));
    ASSERT_TRUE(WaitFor([&] { return sim.ReadFile("T.BIN") == sim.Served(0, "timing"); }));
    capture->WriteStdin("\n");
    EXPECT_EQ(capture->Wait(20s), 0) << capture->Stderr();
    EXPECT_EQ(sim.ReadFile("A.LOG"), sim.Served(0, "text"));
    EXPECT_EQ(sim.ReadFile("T.BIN"), sim.Served(0, "timing"));
}

}  // namespace
