// The pieces that vekdiag-sim's arguments are made of: an adapter's identity, counts,
// the escapes of text, hexadecimal bytes, and the length of a path as Windows counts it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct AdapterIdentity {
    uint16_t index = 0;
    uint16_t type = 0;
};

// INDEX:TYPEHEX, e.g. 0:1A2B.
bool ParseAdapterIdentity(std::string_view text, AdapterIdentity* identity);
// A decimal number without sign, at most max.
bool ParseCount(std::string_view text, uint64_t max, uint64_t* value);
// The text argument's escapes: the two characters \n become a line feed, \\ a backslash.
std::string DecodeText(std::string_view text);
// Pairs of hexadecimal digits, either case, to bytes; false on anything else.
bool DecodeHex(std::string_view text, std::string* bytes);
// The number of UTF-16 units of valid UTF-8 text; nullopt when it is not valid UTF-8.
std::optional<size_t> Utf16Length(std::string_view text);
