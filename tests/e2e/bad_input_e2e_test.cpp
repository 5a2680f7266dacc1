// Bad input gets a clear result on standard error and loses nothing: huge arguments,
// bytes outside ASCII, names that are folders, paths that cannot be written, names
// longer than the system allows, and both logs aimed at one file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/simulator.h"

namespace {

using Lines = std::vector<std::string>;

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.rfind(prefix, 0) == 0;
}

TEST(BadInput, HugeArguments) {
    Simulator sim;
    sim.Control({"text", "0", "kept\\n"});
    const std::string huge(size_t{64} * 1024, 'x');
    const std::string hugeUpper(size_t{64} * 1024, 'X');

    const ProcessResult word = sim.Quorvin({"-q", huge});
    EXPECT_EQ(word.status, 2);

    const ProcessResult file = sim.Quorvin({"-q", "dump", huge});
    EXPECT_EQ(file.status, 1);
    EXPECT_TRUE(StartsWith(file.err, "cannot create " + hugeUpper + ": "))
        << file.err.substr(0, 80);
    EXPECT_EQ(sim.Served(0, "text"), "");  // nothing was read, so nothing was lost

    const ProcessResult option = sim.Quorvin({"-q", "set", huge, "on"});
    EXPECT_EQ(option.status, 2);
    const ProcessResult level = sim.Quorvin({"-q", "set", "loglevel", std::string(65536, '7')});
    EXPECT_EQ(level.status, 2);
    EXPECT_EQ(sim.Control({"loglevel", "0"}), "none\n");

    const ProcessResult capture = sim.Quorvin({"-q", "capture", "-d", huge});
    EXPECT_EQ(capture.status, 1);
    EXPECT_TRUE(StartsWith(capture.err, "cannot create ")) << capture.err.substr(0, 80);
}

TEST(BadInput, BytesOutsideAsciiAreKeptInFileNames) {
    Simulator sim;
    sim.Control({"text", "0", "accented\\n"});
    const ProcessResult run = sim.Quorvin({"-q", "dump", "text", "\xC3\xA9t\xC3\xA9.log"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(sim.ReadFile("\xC3\xA9T\xC3\xA9.LOG"), "accented\n");
}

TEST(BadInput, FileNamesThatCannotBeFiles) {
    struct Case {
        std::string name;
        std::string error;
    };
    const Case cases[] = {
        {"folder", "cannot create FOLDER: Is a directory"},
        {"plain/x", "cannot create PLAIN/X: Not a directory"},
        {std::string(300, 'n'), "cannot create " + std::string(300, 'N') + ": File name too long"},
        {"full", "cannot write FULL: No space left on device"},
    };
    for (const Case& c : cases) {
        Simulator sim;
        std::filesystem::create_directory(sim.FilePath("FOLDER"));
        { std::ofstream(sim.FilePath("PLAIN")) << "plain"; }
        std::filesystem::create_symlink("/dev/full", sim.FilePath("FULL"));
        sim.Control({"text", "0", "line\\n"});
        sim.Control({"timing", "0", "20"});
        const ProcessResult run = sim.Quorvin({"-q", "dump", "both", c.name, "t.bin"});
        EXPECT_EQ(run.status, 1) << c.name;
        EXPECT_EQ(run.err, c.error + "\n") << c.name;
        // The other log is not held back, and nothing else was touched.
        EXPECT_EQ(sim.ReadFile("T.BIN"), sim.Served(0, "timing")) << c.name;
        EXPECT_EQ(sim.ReadFile("PLAIN"), "plain");
    }
}

}  // namespace
