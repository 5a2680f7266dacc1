#include "tests/support/timing_stream.h"

#include <algorithm>

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

std::vector<uint8_t> MakeCorruptTimingStream(size_t records, uint32_t seed) {
    std::vector<uint8_t> stream;
    for (size_t i = 0; i < records; ++i) {
        const uint8_t pick = NextByte(seed) % 16;
        // The largest records often, as they fill the checker's whole window.
        const auto payload =
            static_cast<uint8_t>(NextByte(seed) % 3 == 0 ? 12 : NextByte(seed) % 13);
        const size_t start = stream.size();
        // Sound records may hold the pair A0 F5 among their opaque bytes.
        AppendTimingRecord(stream, payload, seed, pick >= 9);
        const size_t size = stream.size() - start;
        switch (pick) {
            case 0:  // a length byte out of range
            case 1:
                stream[start + 13] = static_cast<uint8_t>(13 + NextByte(seed) % 243);
                break;
            case 2:  // stray bytes after the record
                for (int n = 1 + NextByte(seed) % 3; n > 0; --n) {
                    stream.push_back(NextByte(seed) == 0xA0 ? 0x00 : 0x11);
                }
                break;
            case 3:  // a lone first byte of a sync word
                stream.push_back(0xA0);
                break;
            case 4:  // a sync word inside the header or the payload
            case 5:
                stream[start + 2 + NextByte(seed) % (size - 3)] = 0xA0;
                for (size_t at = start + 2; at + 1 < stream.size(); ++at) {
                    if (stream[at] == 0xA0 && at + 1 != start + 13) {
                        stream[at + 1] = 0xF5;
                        break;
                    }
                }
                break;
            case 6:  // cut short
                stream.resize(start + 2 + NextByte(seed) % (size - 2));
                break;
            case 7:  // followed by A0 and a byte other than F5
                stream.push_back(0xA0);
                stream.push_back(NextByte(seed) == 0xF5 ? 0x00 : 0x5A);
                break;
            case 8:  // run long: up to 30 bytes of anything, first halves of sync words often
                for (int n = 1 + NextByte(seed) % 30; n > 0; --n) {
                    stream.push_back(NextByte(seed) % 4 == 0 ? 0xA0 : NextByte(seed));
                }
                break;
            default:
                break;
        }
    }
    // Begins inside its first record, as a log read after the driver overwrote its start.
    const size_t skip = std::min<size_t>(1 + NextByte(seed) % 13, stream.size());
    stream.erase(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(skip));
    // Often ends inside its last record, or on the first byte of a sync word.
    switch (NextByte(seed) % 3) {
        case 0:
            stream.resize(stream.size() - std::min<size_t>(1 + NextByte(seed) % 13, stream.size()));
            break;
        case 1:
            stream.push_back(0xA0);
            break;
        default:
            break;
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
