// Reading a log channel of an adapter: opening it, its path for messages, and how a
// drain went. The drain itself is VekDiagDevice::DrainLog.
#pragma once

#include <cstdint>
#include <string>

#include "adapter/log_channel.h"
#include "adapter/vekdiag_device.h"

struct DrainProgress {
    uint32_t blocks = 0;         // reads that delivered bytes
    bool answeredEmpty = false;  // the driver had nothing more
    bool stopped = false;        // a stop was asked for after a block
    bool limited = false;        // the limit ended the drain after a block
    uint32_t errors = 0;         // framing errors of the timing log
};

// Asked after every block that a drain wrote whether to read on: a turn of a capture ends
// after so many blocks, or when its time is up, without waiting for the driver to run
// dry.
class DrainLimit {
public:
    DrainLimit() = default;
    virtual ~DrainLimit() = default;
    DrainLimit(const DrainLimit&) = delete;
    DrainLimit& operator=(const DrainLimit&) = delete;

    // blocks: those the drain has delivered so far.
    virtual bool ReadOn(uint32_t blocks) = 0;
};

// Opens the channel if it is not open yet; non-zero when it is open afterwards.
int OpenLogChannel(VekDiagDevice& device, LogChannel channel);
const std::string& LogChannelPath(const VekDiagDevice& device, LogChannel channel);
