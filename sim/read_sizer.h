// The most bytes each read of a log may return: all that was asked for, a fixed size,
// or a pseudo-random size from 1 to 4096 drawn per read, the same sequence for the
// same seed. A real driver answers with blocks of any length; this plays it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "sim/command_syntax.h"

class ReadSizer {
public:
    // value: the size for Fixed, the seed for Random.
    void Set(ReadSizeMode mode, uint64_t value);
    // The limit of the next read.
    size_t Next();

private:
    ReadSizeMode mode_ = ReadSizeMode::Full;
    uint64_t value_ = 0;
};
