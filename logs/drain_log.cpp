#include <cstdio>

#include "adapter/vekdiag_device.h"
#include "logs/log_reader.h"

int OpenLogChannel(VekDiagDevice& device, LogChannel channel) {
    return channel == LogChannel::TextLog ? device.OpenTextLogChannel()
                                          : device.OpenTimingLogChannel();
}

const std::string& LogChannelPath(const VekDiagDevice& device, LogChannel channel) {
    return channel == LogChannel::TextLog ? device.textLogPath : device.timingLogPath;
}

int VekDiagDevice::DrainLog(FILE* sink, LogChannel channel) {
    uint8_t block[LOG_BLOCK_SIZE];
    HANDLE handle = channel == LogChannel::TextLog ? textLogHandle : timingLogHandle;
    for (;;) {
        uint32_t count = 0;
        const int succeeded = ReadLogBlock(handle, block, LOG_BLOCK_SIZE, &count);
        if (channel == LogChannel::TimingLog) {
            const int32_t errors = timingChecker.CheckBlock(block, static_cast<int32_t>(count));
            if (errors != 0) {
                std::printf("detected %d errors in timing log\n", errors);
            }
        }
        // Bytes that came with a failed request are written too: the file then holds
        // exactly the stream that the checker framed.
        if (count != 0 && sink != nullptr) {
            std::fwrite(block, 1, count, sink);
        }
        if (count == 0) {
            return succeeded;
        }
    }
}
