// Reading a log channel of an adapter: opening it, its path for messages, and how a
// drain went. The drain itself is VekDiagDevice::DrainLog.
#pragma once

#include <cstdint>
#include <string>

#include "adapter/vekdiag_device.h"
#include "logs/log_channel.h"

struct DrainProgress {
    uint32_t blocks = 0;         // reads that delivered bytes
    bool answeredEmpty = false;  // the driver had nothing more
    bool stopped = false;        // a stop was asked for after a block
    uint32_t errors = 0;         // framing errors of the timing log
};

// Opens the channel if it is not open yet; non-zero when it is open afterwards.
int OpenLogChannel(VekDiagDevice& device, LogChannel channel);
const std::string& LogChannelPath(const VekDiagDevice& device, LogChannel channel);
