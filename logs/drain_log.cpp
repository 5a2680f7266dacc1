#include <cstdio>

#include "adapter/vekdiag_device.h"
#include "base/console.h"
#include "base/stop_request.h"
#include "framing/timing_log_framing.h"
#include "logs/log_reader.h"
#include "logs/log_sinks.h"

namespace {

// Notes where each record that the checker frames ends in the block: the places where a
// timing log written in pieces may be cut.
struct RecordEnds {
    BlockCuts& cuts;

    void OnRecord(int32_t position, uint32_t size) {
        const int32_t end = position + static_cast<int32_t>(size);
        if (end > 0) {  // a record that ended in the bytes carried was noted with them
            cuts.offsets[cuts.count++] = static_cast<uint16_t>(end);
        }
    }
    void OnSkip(int32_t /*position*/, uint32_t /*count*/) {}
    void OnError(int32_t /*position*/, FrameResult /*kind*/, uint32_t /*advance*/) {}
};

}  // namespace

int OpenLogChannel(VekDiagDevice& device, LogChannel channel) {
    return channel == LogChannel::TextLog ? device.OpenTextLogChannel()
                                          : device.OpenTimingLogChannel();
}

const std::string& LogChannelPath(const VekDiagDevice& device, LogChannel channel) {
    return channel == LogChannel::TextLog ? device.textLogPath : device.timingLogPath;
}

int VekDiagDevice::DrainLog(LogSink* sink, LogChannel channel, DrainProgress* progress,
                            DrainLimit* limit) {
    DrainProgress local;
    DrainProgress& done = progress != nullptr ? *progress : local;
    done = DrainProgress{};
    uint8_t block[LOG_BLOCK_SIZE];
    const bool timing = channel == LogChannel::TimingLog;
    BlockCuts cuts;
    const bool cutting = timing && sink != nullptr && sink->WantsCuts();
    for (;;) {
        uint32_t count = 0;
        const int succeeded = ReadLogBlock(channel, block, LOG_BLOCK_SIZE, &count);
        if (timing) {
            int32_t errors = 0;
            if (cutting) {
                cuts.count = 0;
                RecordEnds ends{cuts};
                errors = timingChecker.CheckBlockObserved<RecordEnds, BlockEnd::LimitsLookAhead>(
                    block, static_cast<int32_t>(count), ends);
            } else {
                errors = timingChecker.CheckBlock(block, static_cast<int32_t>(count));
            }
            if (errors != 0) {
                ConsolePrintf("detected %d errors in timing log\n", errors);
                done.errors += static_cast<uint32_t>(errors);
            }
        }
        if (count == 0) {
            done.answeredEmpty = true;
            return succeeded;
        }
        ++done.blocks;
        // Bytes that came with a failed request are written too: the file then holds
        // exactly the stream that the checker framed. A sink that fails takes no more,
        // and what the driver still holds stays there.
        if (sink != nullptr && sink->Write(block, count, cutting ? &cuts : nullptr) == 0) {
            return succeeded;
        }
        if (StopRequested() != 0) {
            done.stopped = true;
            return succeeded;
        }
        if (limit != nullptr && !limit->ReadOn(done.blocks)) {
            done.limited = true;
            return succeeded;
        }
    }
}
