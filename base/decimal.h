// Whole decimal numbers as the command line gives them: digits, then at most one unit
// letter from a table the caller gives (sizes in K, M, G; durations in S, M, H, D), and
// nothing else. Signs, spaces and empty text are refused, and so is any value above the
// caller's maximum, without overflow however many digits are given.
#pragma once

#include <cstddef>
#include <cstdint>

struct DecimalUnit {
    char letter;      // upper case; '\0': the number without a letter
    uint64_t factor;  // what one of the number counts
};

// Only digits: a count, an index, a level.
inline constexpr DecimalUnit PLAIN_NUMBER[] = {{'\0', 1}};

// Non-zero when text is such a number and its value times the unit's factor is at most
// most; that value goes to *value. A letter that is not in units fails, and a number
// without a letter fails unless units holds '\0'.
int ParseDecimal(const char* text, const DecimalUnit* units, size_t unitCount, uint64_t most,
                 uint64_t* value);

template <size_t N>
int ParseDecimal(const char* text, const DecimalUnit (&units)[N], uint64_t most, uint64_t* value) {
    return ParseDecimal(text, units, N, most, value);
}
