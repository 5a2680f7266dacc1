#include <cstdio>

#include "adapter/vekdiag_device.h"
#include "cli/console.h"
#include "cli/stop_request.h"
#include "logs/log_reader.h"
#include "logs/log_sinks.h"

int OpenLogChannel(VekDiagDevice& device, LogChannel channel) {
    return channel == LogChannel::TextLog ? device.OpenTextLogChannel()
                                          : device.OpenTimingLogChannel();
}

const std::string& LogChannelPath(const VekDiagDevice& device, LogChannel channel) {
    return channel == LogChannel::TextLog ? device.textLogPath : device.timingLogPath;
}

int VekDiagDevice::DrainLog(LogSink* sink, LogChannel channel, uint32_t maxBlocks,
                            DrainProgress* progress) {
    DrainProgress local;
    DrainProgress& done = progress != nullptr ? *progress : local;
    done = DrainProgress{};
    uint8_t block[LOG_BLOCK_SIZE];
    HANDLE handle = channel == LogChannel::TextLog ? textLogHandle : timingLogHandle;
    for (;;) {
        uint32_t count = 0;
        const int succeeded = ReadLogBlock(handle, block, LOG_BLOCK_SIZE, &count);
        if (channel == LogChannel::TimingLog) {
            const int32_t errors = timingChecker.CheckBlock(block, static_cast<int32_t>(count));
            if (errors != 0) {
                ConsolePrintf("detected %d errors in timing log\n", errors);
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
        if (sink != nullptr && sink->Write(block, count) == 0) {
            return succeeded;
        }
        if (StopRequested() != 0) {
            done.stopped = true;
            return succeeded;
        }
        if (done.blocks >= maxBlocks) {
            return succeeded;
        }
    }
}
