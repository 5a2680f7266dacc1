// The driver's four per-stream options, in report order, with their mask bits.
#pragma once

#include <cstdint>

struct StreamOption {
    uint32_t flag;
    const char* name;  // lower case
};

inline constexpr int STREAM_OPTION_COUNT = 4;
extern const StreamOption StreamOptionTable[STREAM_OPTION_COUNT];

// The flag of the option with this name (any ASCII case), or 0.
uint32_t FindStreamOption(const char* name);
