#include "tests/support/timing_stream.h"

namespace {

uint8_t NextByte(uint32_t& seed) {
    seed = seed * 1103515245u + 12345u;
    return static_cast<uint8_t>(seed >> 16);
}

}  // namespace

void AppendTimingRecord(std::vector<uint8_t>& stream, uint8_t payloadLength, uint32_t& seed,
                        bool syncPairsInside) {
    const size_t start = stream.size();
    stream.push_back(0xA0);
    stream.push_back(0xF5);
    for (int i = 0; i < 11; ++i) {
        stream.push_back(NextByte(seed));
    }
    stream.push_back(payloadLength);
    for (int i = 0; i < payloadLength; ++i) {
        stream.push_back(NextByte(seed));
    }
    // Keep random bytes from forming a sync pair unless asked, then plant one on purpose.
    for (size_t i = start + 2; i + 1 < stream.size(); ++i) {
        if (i + 1 == start + 13) {
            continue;  // the length byte stays as it is
        }
        if (stream[i] == 0xA0 && stream[i + 1] == 0xF5) {
            stream[i] = 0x00;
        }
    }
    if (syncPairsInside && (NextByte(seed) & 3) == 0) {
        const size_t at = start + 2 + NextByte(seed) % 10;  // within the opaque bytes
        stream[at] = 0xA0;
        stream[at + 1] = 0xF5;
    }
}

std::vector<uint8_t> MakeTimingStream(size_t minimumBytes, TimingStreamOptions options) {
    std::vector<uint8_t> stream;
    stream.reserve(minimumBytes + 26);
    uint32_t seed = options.seed;
    uint8_t payload = 0;
    while (stream.size() < minimumBytes) {
        AppendTimingRecord(stream, payload, seed, options.syncPairsInside);
        payload = static_cast<uint8_t>((payload + 5) % 13);
    }
    return stream;
}

std::vector<size_t> RecordOffsets(const std::vector<uint8_t>& stream) {
    std::vector<size_t> offsets;
    for (size_t at = 0; at + 14 <= stream.size(); at += 14u + stream[at + 13]) {
        offsets.push_back(at);
    }
    return offsets;
}
