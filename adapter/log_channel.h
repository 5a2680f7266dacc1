#pragma once

#include <cstdint>

// Which log channel of an adapter a drain reads; the timing log is also framed.
enum class LogChannel : uint32_t {
    TextLog = 0,
    TimingLog = 1,
};
