// Random timing streams with every kind of framing fault, read in blocks of random length
// by dump and by a capture over several passes: the file holds byte for byte what the
// driver served, and the "detected N errors" lines are what the reference framer finds in
// the same blocks, block by block (a count depends on where the blocks end).
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "tests/support/output_lines.h"
#include "tests/support/simulator.h"
#include "tests/support/timing_stream.h"

namespace {

using namespace std::chrono_literals;

std::string CorruptStream(size_t records, uint32_t seed) {
    const std::vector<uint8_t> bytes = MakeCorruptTimingStream(records, seed);
    return std::string(bytes.begin(), bytes.end());
}

// Appends the bytes to adapter 0's timing log exactly, through a file.
void PushRaw(Simulator& sim, const std::string& bytes) {
    const std::string path = sim.FilePath("raw.bin");
    std::ofstream(path, std::ios::binary) << bytes;
    sim.Control({"raw", "0", "timing", "--file", path});
}

TEST(TimingFraming, DumpOfRandomStreamsReadInRandomBlocks) {
    int blocksEndingInA0 = 0;  // the first half of a sync word, waiting for the next block
    for (const uint32_t seed : {1u, 2u, 3u}) {
        Simulator sim({"--log-size", "1048576"});
        const std::string stream = CorruptStream(4000, seed);
        PushRaw(sim, stream);
        sim.Control({"readsize", "0", "random", std::to_string(seed)});
        const ProcessResult run = sim.Quorvin({"-q", "dump", "timing", "t.bin"});
        EXPECT_EQ(run.status, 0) << run.err;
        const std::string served = sim.Served(0, "timing");
        ASSERT_TRUE(served == stream) << "seed " << seed;  // all of it, as pushed
        EXPECT_TRUE(sim.ReadFile("T.BIN") == served) << "seed " << seed;
        const std::vector<size_t> blocks = sim.ServedBlocks(0, "timing");
        EXPECT_GT(blocks.size(), stream.size() / 4096 + 1) << "seed " << seed;
        size_t end = 0;
        for (const size_t length : blocks) {
            end += length;
            blocksEndingInA0 += length != 0 && static_cast<uint8_t>(served[end - 1]) == 0xA0;
        }
        const std::vector<std::string> expected = ExpectedErrorLines(served, blocks);
        EXPECT_GT(expected.size(), 10u);
        EXPECT_EQ(OutputLines(run.out), expected) << "seed " << seed;
    }
    EXPECT_GT(blocksEndingInA0, 0);
}

TEST(TimingFraming, CaptureOfARandomStreamPushedBetweenPasses) {
    Simulator sim({"--log-size", "1048576"});
    const std::string stream = CorruptStream(6000, 7);
    const size_t parts[] = {0, stream.size() / 3 + 5, 2 * stream.size() / 3 + 11, stream.size()};
    PushRaw(sim, stream.substr(0, parts[1]));
    sim.Control({"readsize", "0", "random", "7"});
    auto capture = sim.StartQuorvin({"-q", "capture", "-d", "timing", "t.bin"});
    for (int part = 1; part < 3; ++part) {
        // The capture has read everything so far: the next part comes in a later pass.
        ASSERT_TRUE(WaitFor([&] { return sim.Served(0, "timing").size() == parts[part]; }));
        PushRaw(sim, stream.substr(parts[part], parts[part + 1] - parts[part]));
    }
    ASSERT_TRUE(WaitFor([&] { return sim.ReadFile("T.BIN").size() == stream.size(); }));
    capture->WriteStdin("\n");
    ASSERT_EQ(capture->Wait(20s), 0) << capture->Stderr();
    const std::string served = sim.Served(0, "timing");
    ASSERT_TRUE(served == stream);
    EXPECT_TRUE(sim.ReadFile("T.BIN") == served);
    const std::vector<size_t> blocks = sim.ServedBlocks(0, "timing");
    EXPECT_GE(std::count(blocks.begin(), blocks.end(), 0u), 3);  // one empty read per pass
    EXPECT_EQ(OutputLines(capture->Stdout()), ExpectedErrorLines(served, blocks));
}

}  // namespace
