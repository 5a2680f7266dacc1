#include "tests/support/damaged_timing_stream.h"

#include "tests/support/timing_stream.h"

namespace {

class Random {
public:
    explicit Random(uint32_t seed) : state_(seed * 2654435761u + 1) {}
    uint32_t Below(uint32_t bound) {
        state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<uint32_t>(state_ >> 33) % bound;
    }
    uint8_t Byte() { return static_cast<uint8_t>(Below(256)); }

private:
    uint64_t state_;
};

enum class Damage { None, BadLength, Stray, CutShort, RunLong, LoneA0, SyncInPayload, Count };

void AppendDamagedRecord(std::vector<uint8_t>& stream, Random& random, uint32_t& seed) {
    const auto payload = static_cast<uint8_t>(random.Below(13));
    const size_t start = stream.size();
    AppendTimingRecord(stream, payload, seed, true);
    // Well-formed records most of the time, so that the faults stand apart.
    const auto damage =
        random.Below(3) == 0
            ? static_cast<Damage>(1 + random.Below(static_cast<uint32_t>(Damage::Count) - 1))
            : Damage::None;
    switch (damage) {
        case Damage::BadLength:
            stream[start + 13] = static_cast<uint8_t>(13 + random.Below(243));
            break;
        case Damage::Stray:
            for (uint32_t n = 1 + random.Below(30); n > 0; --n) {
                stream.push_back(random.Below(4) == 0 ? 0xA0 : random.Byte());
            }
            break;
        case Damage::CutShort:
            stream.resize(stream.size() - 1 -
                          random.Below(static_cast<uint32_t>(stream.size() - start - 1)));
            break;
        case Damage::RunLong:
            for (uint32_t n = 1 + random.Below(5); n > 0; --n) {
                stream.push_back(random.Byte());
            }
            break;
        case Damage::LoneA0:
            stream.push_back(0xA0);
            break;
        case Damage::SyncInPayload:
            if (payload >= 2) {
                const size_t at = start + 14 + random.Below(payload - 1u);
                stream[at] = 0xA0;
                stream[at + 1] = 0xF5;
            }
            break;
        default:
            break;
    }
}

}  // namespace

std::vector<uint8_t> MakeDamagedTimingStream(uint32_t seed, size_t records) {
    Random random(seed);
    uint32_t recordSeed = seed;
    std::vector<uint8_t> stream;
    for (size_t i = 0; i < records; ++i) {
        AppendDamagedRecord(stream, random, recordSeed);
    }
    // A start inside the first record, and an end inside the last, or with a lone A0.
    if (stream.size() < 40) {
        return stream;
    }
    if (random.Below(2) == 0) {
        stream.erase(stream.begin(), stream.begin() + 1 + random.Below(25));
    }
    switch (random.Below(3)) {
        case 0:
            stream.resize(stream.size() - 1 - random.Below(13));
            break;
        case 1:
            stream.push_back(0xA0);
            break;
        default:
            break;
    }
    return stream;
}
