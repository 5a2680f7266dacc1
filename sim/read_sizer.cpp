#include "sim/read_sizer.h"

#include <cstdint>

void ReadSizer::Set(ReadSizeMode mode, uint64_t value) {
    mode_ = mode;
    value_ = value;
}

size_t ReadSizer::Next() {
    switch (mode_) {
        case ReadSizeMode::Fixed:
            return static_cast<size_t>(value_);
        case ReadSizeMode::Random: {
            // splitmix64: every seed gives a well-spread sequence, also seeds 0 and 1.
            value_ += 0x9E3779B97F4A7C15ull;
            uint64_t z = value_;
            z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
            z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
            z ^= z >> 31;
            return static_cast<size_t>(1 + z % MAX_READ_SIZE);
        }
        case ReadSizeMode::Full:
            break;
    }
    return SIZE_MAX;
}
