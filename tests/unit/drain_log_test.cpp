#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "adapter/vekdiag_device.h"
#include "logs/log_sinks.h"
#include "tests/support/capture_stdout.h"
#include "tests/support/in_process_driver.h"
#include "tests/support/request_record.h"
#include "tests/support/timing_stream.h"

namespace {

using Bytes = std::vector<uint8_t>;

const char PATH[] = "\\\\?\\ROOT#MEDIA#0000#{7f95af7c-f68a-4351-bb8e-268af28ea14c}";

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
    void Append(LogKind log, const Bytes& bytes) { driver_.Append(0, log, bytes); }
    size_t ReadRequests() { return CountReads(driver_.Requests(0)); }
    InProcessDriver driver_;
};

TEST_F(DrainLogTest, EmptyLogMakesOneRequestAndWritesNothing) {
    VekDiagDevice device(PATH);
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
    const auto half = static_cast<std::ptrdiff_t>(RecordOffsets(stream).at(500) + 7);
    driver_.Control({"readsize", "0", "random", "5"});
    VekDiagDevice device(PATH);
    ASSERT_NE(device.OpenTimingLogChannel(), 0);
    MemorySink sink;
    StdoutCapture console;
    Append(LogKind::Timing, Bytes(stream.begin(), stream.begin() + half));
    EXPECT_NE(device.DrainLog(sink.sink(), LogChannel::TimingLog), 0);
    Append(LogKind::Timing, Bytes(stream.begin() + half, stream.end()));
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
    VekDiagDevice device(PATH);
    ASSERT_NE(device.OpenTimingLogChannel(), 0);
    MemorySink sink;
    StdoutCapture console;
    // Each block as one read: the driver holds one at a time.
    for (const Bytes* block : {&first, &second}) {
        Append(LogKind::Timing, *block);
        device.DrainLog(sink.sink(), LogChannel::TimingLog);
    }
    EXPECT_EQ(console.Finish(),
              "detected 1 errors in timing log\n"
              "detected 2 errors in timing log\n");
    Bytes both = first;
    both.insert(both.end(), second.begin(), second.end());
    EXPECT_EQ(sink.Contents(), both);
}

// The driver's faults strike the next read: here the first one of the drain.
TEST_F(DrainLogTest, PartialDataOfAFailedReadIsWrittenAndTheDrainGoesOn) {
    driver_.Control({"text", "0", "abcd"});
    driver_.Control({"readsize", "0", "2"});
    driver_.Control({"fault", "0", "partial-read"});
    VekDiagDevice device(PATH);
    ASSERT_NE(device.OpenTextLogChannel(), 0);
    MemorySink sink;
    EXPECT_NE(device.DrainLog(sink.sink(), LogChannel::TextLog), 0);
    EXPECT_EQ(sink.Contents(), (Bytes{'a', 'b', 'c', 'd'}));
    EXPECT_EQ(ReadRequests(), 3u);  // "ab" failing, "cd", then the empty answer
    EXPECT_EQ(driver_.Requests(0).at(3), "ioctl 0xC3516008 in=- out=4096 -> error 234");
}

// After a drain that read 'a', the next one fails at its first read: what the driver
// still holds ('z') stays there.
TEST_F(DrainLogTest, FailedReadWithoutDataEndsTheDrainAsAFailure) {
    VekDiagDevice device(PATH);
    ASSERT_NE(device.OpenTextLogChannel(), 0);
    MemorySink sink;
    driver_.Control({"text", "0", "a"});
    EXPECT_NE(device.DrainLog(sink.sink(), LogChannel::TextLog), 0);
    driver_.Control({"text", "0", "z"});
    driver_.Control({"fault", "0", "fail-read"});
    EXPECT_EQ(device.DrainLog(sink.sink(), LogChannel::TextLog), 0);
    EXPECT_EQ(sink.Contents(), (Bytes{'a'}));
    EXPECT_EQ(ReadRequests(), 3u);  // 'a', the empty answer, the failed read
    EXPECT_EQ(driver_.Control({"served", "0", "text"}), "a");
}

TEST_F(DrainLogTest, UnopenedChannelFailsAtOnceWithoutARequest) {
    VekDiagDevice device(PATH);
    MemorySink sink;
    EXPECT_EQ(device.DrainLog(sink.sink(), LogChannel::TextLog), 0);
    EXPECT_EQ(ReadRequests(), 0u);
}

TEST_F(DrainLogTest, DroppingDrainStillFeedsTheChecker) {
    const Bytes stream = MakeTimingStream(100, {.seed = 4, .syncPairsInside = false});
    const size_t cut = 37;
    VekDiagDevice device(PATH);
    ASSERT_NE(device.OpenTimingLogChannel(), 0);
    StdoutCapture console;
    Append(LogKind::Timing, Bytes(stream.begin(), stream.begin() + cut));
    device.DrainLog(nullptr, LogChannel::TimingLog);
    EXPECT_GT(device.timingChecker.carryCount, 0);  // the cut record waits for the next drain
    MemorySink sink;
    Append(LogKind::Timing, Bytes(stream.begin() + cut, stream.end()));
    device.DrainLog(sink.sink(), LogChannel::TimingLog);
    EXPECT_EQ(console.Finish(), "");
    EXPECT_EQ(sink.Contents(), Bytes(stream.begin() + cut, stream.end()));
}

}  // namespace
