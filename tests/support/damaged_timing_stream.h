// Seeded timing-log streams with every kind of framing fault: bad length bytes, stray
// bytes between records, records cut short or run long, a lone A0, the pair A0 F5
// inside headers and payloads, a start inside a record and an end inside one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// About records records, damaged at random; the same seed gives the same bytes.
std::vector<uint8_t> MakeDamagedTimingStream(uint32_t seed, size_t records);
