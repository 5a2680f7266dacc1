// Reading a log channel of an adapter: opening it, its path for messages. The drain
// itself is VekDiagDevice::DrainLog.
#pragma once

#include <string>

#include "adapter/vekdiag_device.h"
#include "logs/log_channel.h"

// Opens the channel if it is not open yet; non-zero when it is open afterwards.
int OpenLogChannel(VekDiagDevice& device, LogChannel channel);
const std::string& LogChannelPath(const VekDiagDevice& device, LogChannel channel);
