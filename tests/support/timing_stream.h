// Well-formed and damaged timing-log streams for the tests and benchmarks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct TimingStreamOptions {
    uint32_t seed = 1;
    // Put the pair A0 F5 inside opaque bytes and payloads now and then.
    bool syncPairsInside = true;
};

// One record: sync word, 11 opaque bytes, the length byte, then the payload.
void AppendTimingRecord(std::vector<uint8_t>& stream, uint8_t payloadLength, uint32_t& seed,
                        bool syncPairsInside);

// Records of payload lengths cycling through 0..12 until the stream holds at least
// minimumBytes; it always ends at a record boundary.
std::vector<uint8_t> MakeTimingStream(size_t minimumBytes, TimingStreamOptions options = {});

// About `records` records with every kind of framing fault, picked from seed: length
// bytes above 12, stray bytes after a record (a few, or up to 30 of anything), a lone
// 0xA0 between records, the pair A0 F5 inside a header or a payload, records cut short,
// a record followed by 0xA0 and a byte other than 0xF5, largest records next to all of
// these; the stream begins mid-record and often ends inside a record or on a lone 0xA0.
// The same seed gives the same bytes.
std::vector<uint8_t> MakeCorruptTimingStream(size_t records, uint32_t seed);

// Offsets at which the records of a stream made by MakeTimingStream start.
std::vector<size_t> RecordOffsets(const std::vector<uint8_t>& stream);
