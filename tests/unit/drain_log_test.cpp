#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "adapter/vekdiag_device.h"
#include "logs/log_sinks.h"
#include "tests/support/capture_stdout.h"
#include "tests/support/fake_driver.h"
#include "tests/support/timing_stream.h"

namespace {

using Bytes = std::vector<uint8_t>;

const char kPath[] = "\\\\?\\ROOT#MEDIA#0000#{7f95af7c-f68a-4351-bb8e-268af28ea14c}";

// A sink in memory: what a drain writes, byte for byte.
class MemorySink {
public:
    MemorySink() : file_(std::tmpfile()) { sink_.Attach(file_, "memory"); }
    ~MemorySink() { std::fclose(file_); }
    LogSink* sink() { return &sink_; }
    Bytes Contents() {
        std::fflush(file_);
        std::rewind(file_);
        Bytes bytes;
        for (int c = std::fgetc(file_); c != EOF; c = std::fgetc(file_)) {
            bytes.push_back(static_cast<uint8_t>(c));
        }
        return bytes;
    }

private:
    FILE* file_;
    LogSink sink_;
};

class DrainLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        FakeDriver::Get().Reset();
        adapter_ = &FakeDriver::Get().AddAdapter(kPath, 0, 0x1A2B);
    }
    void Script(FakeChannelId channel, std::initializer_list<FakeRead> reads) {
        adapter_->reads[channel].insert(adapter_->reads[channel].end(), reads);
    }
    size_t ReadRequests() {
        size_t reads = 0;
        for (const std::string& line : FakeDriver::Get().Requests(0)) {
            reads += line.rfind("ioctl 0xC3516008", 0) == 0 ? 1 : 0;
        }
        return reads;
    }
    FakeAdapter* adapter_ = nullptr;
};

TEST_F(DrainLogTest, EmptyLogMakesOneRequestAndWritesNothing) {
    VekDiagDevice device(kPath);
    ASSERT_NE(device.OpenTimingLogChannel(), 0);
    MemorySink sink;
    StdoutCapture console;
    EXPECT_NE(device.DrainLog(sink.sink(), LogChannel::TimingLog), 0);
    EXPECT_EQ(console.Finish(), "");
    EXPECT_EQ(ReadRequests(), 1u);
    EXPECT_TRUE(sink.Contents().empty());
}

TEST_F(DrainLogTest, TimingFileIsTheStreamAcrossBlocksAndDrains) {
    const Bytes stream = MakeTimingStream(30000);
    // Blocks of every awkward size, split over two drains mid-record.
    size_t at = 0;
    size_t size = 1;
    std::vector<FakeRead> blocks;
    while (at < stream.size()) {
        const size_t n = std::min(stream.size() - at, size);
        blocks.push_back({true, Bytes(stream.begin() + at, stream.begin() + at + n), 0});
        at += n;
        size = size * 7 % 4096 + 1;
    }
    const size_t half = blocks.size() / 2;
    adapter_->reads[FakeTimingLog].insert(adapter_->reads[FakeTimingLog].end(), blocks.begin(),
                                          blocks.begin() + half);
    adapter_->reads[FakeTimingLog].push_back({true, {}, 0});
    adapter_->reads[FakeTimingLog].insert(adapter_->reads[FakeTimingLog].end(),
                                          blocks.begin() + half, blocks.end());
    VekDiagDevice device(kPath);
    ASSERT_NE(device.OpenTimingLogChannel(), 0);
    MemorySink sink;
    StdoutCapture console;
    EXPECT_NE(device.DrainLog(sink.sink(), LogChannel::TimingLog), 0);
    EXPECT_NE(device.DrainLog(sink.sink(), LogChannel::TimingLog), 0);
    EXPECT_EQ(console.Finish(), "");  // one stream: no framing error at the drain boundary
    EXPECT_EQ(sink.Contents(), stream);
}

TEST_F(DrainLogTest, FramingErrorsAreReportedPerBlockAndTheBlockIsWrittenUnchanged) {
    Bytes first = MakeTimingStream(200, {.seed = 2, .syncPairsInside = false});
    first[13] = 0xEE;  // the first record's length byte
    Bytes second = MakeTimingStream(200, {.seed = 3, .syncPairsInside = false});
    second[13] = 0x20;
    second.insert(second.begin() + 60, 0x00);  // and a stray byte further on
    Script(FakeTimingLog, {{true, first, 0}, {true, second, 0}});
    VekDiagDevice device(kPath);
    ASSERT_NE(device.OpenTimingLogChannel(), 0);
    MemorySink sink;
    StdoutCapture console;
    device.DrainLog(sink.sink(), LogChannel::TimingLog);
    EXPECT_EQ(console.Finish(),
              "detected 1 errors in timing log\n"
              "detected 2 errors in timing log\n");
    Bytes both = first;
    both.insert(both.end(), second.begin(), second.end());
    EXPECT_EQ(sink.Contents(), both);
}

TEST_F(DrainLogTest, PartialDataOfAFailedReadIsWrittenAndTheDrainGoesOn) {
    Script(FakeTextLog, {{true, {'a', 'b'}, 0}, {false, {'c'}, ERROR_MORE_DATA}, {true, {'d'}, 0}});
    VekDiagDevice device(kPath);
    ASSERT_NE(device.OpenTextLogChannel(), 0);
    MemorySink sink;
    EXPECT_NE(device.DrainLog(sink.sink(), LogChannel::TextLog), 0);
    EXPECT_EQ(sink.Contents(), (Bytes{'a', 'b', 'c', 'd'}));
    EXPECT_EQ(ReadRequests(), 4u);
}

TEST_F(DrainLogTest, FailedReadWithoutDataEndsTheDrainAsAFailure) {
    Script(FakeTextLog, {{true, {'a'}, 0}, {false, {}, ERROR_DEVICE_REMOVED}, {true, {'z'}, 0}});
    VekDiagDevice device(kPath);
    ASSERT_NE(device.OpenTextLogChannel(), 0);
    MemorySink sink;
    EXPECT_EQ(device.DrainLog(sink.sink(), LogChannel::TextLog), 0);
    EXPECT_EQ(sink.Contents(), (Bytes{'a'}));
    EXPECT_EQ(ReadRequests(), 2u);
}

TEST_F(DrainLogTest, UnopenedChannelFailsAtOnceWithoutARequest) {
    VekDiagDevice device(kPath);
    MemorySink sink;
    EXPECT_EQ(device.DrainLog(sink.sink(), LogChannel::TextLog), 0);
    EXPECT_EQ(ReadRequests(), 0u);
}

TEST_F(DrainLogTest, DroppingDrainStillFeedsTheChecker) {
    const Bytes stream = MakeTimingStream(100, {.seed = 4, .syncPairsInside = false});
    const size_t cut = 37;
    Script(FakeTimingLog, {{true, Bytes(stream.begin(), stream.begin() + cut), 0},
                           {true, {}, 0},
                           {true, Bytes(stream.begin() + cut, stream.end()), 0}});
    VekDiagDevice device(kPath);
    ASSERT_NE(device.OpenTimingLogChannel(), 0);
    StdoutCapture console;
    device.DrainLog(nullptr, LogChannel::TimingLog);
    EXPECT_GT(device.timingChecker.carryCount, 0);  // the cut record waits for the next drain
    MemorySink sink;
    device.DrainLog(sink.sink(), LogChannel::TimingLog);
    EXPECT_EQ(console.Finish(), "");
    EXPECT_EQ(sink.Contents(), Bytes(stream.begin() + cut, stream.end()));
}

}  // namespace
