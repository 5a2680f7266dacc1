#include "sim/log_generators.h"

#include <algorithm>
#include <cstdio>

namespace {

// Collects bytes and hands them on in pieces of about 64 KiB.
class Chunker {
public:
    explicit Chunker(const ByteSink& sink) : sink_(sink) { chunk_.reserve(CHUNK + 64); }
    ~Chunker() { Flush(); }
    Chunker(const Chunker&) = delete;
    Chunker& operator=(const Chunker&) = delete;

    void Add(std::string_view bytes) {
        chunk_.append(bytes);
        if (chunk_.size() >= CHUNK) {
            Flush();
        }
    }

private:
    static constexpr size_t CHUNK = size_t{64} << 10;
    void Flush() {
        if (!chunk_.empty()) {
            sink_(chunk_);
            chunk_.clear();
        }
    }
    const ByteSink& sink_;
    std::string chunk_;
};

constexpr uint8_t SYNC_0 = 0xA0;
constexpr uint8_t SYNC_1 = 0xF5;
constexpr uint8_t MAX_PAYLOAD = 12;
constexpr int OPAQUE_BYTES = 11;

}  // namespace

void TextFiller::Fill(uint64_t bytes, const ByteSink& sink) {
    Chunker out(sink);
    while (bytes > 0) {
        if (lineUsed_ == line_.size()) {
            char text[96];
            const int length =
                std::snprintf(text, sizeof text,
                              "fill line %08llu: the quick brown fox jumps over the lazy dog\n",
                              static_cast<unsigned long long>(nextLine_++));
            line_.assign(text, static_cast<size_t>(length));
            lineUsed_ = 0;
        }
        const size_t n = static_cast<size_t>(std::min<uint64_t>(bytes, line_.size() - lineUsed_));
        out.Add(std::string_view(line_).substr(lineUsed_, n));
        lineUsed_ += n;
        bytes -= n;
    }
}

uint8_t TimingGenerator::RandomByte(uint8_t previous) {
    seed_ = seed_ * 1103515245u + 12345u;
    auto byte = static_cast<uint8_t>(seed_ >> 16);
    if (previous == SYNC_0 && byte == SYNC_1) {
        byte = 0x5F;
    }
    return byte;
}

void TimingGenerator::MakeRecord(bool badLength) {
    const uint8_t length = nextLength_;
    nextLength_ = static_cast<uint8_t>((nextLength_ + 5) % (MAX_PAYLOAD + 1));
    record_.clear();
    record_.push_back(static_cast<char>(SYNC_0));
    record_.push_back(static_cast<char>(SYNC_1));
    uint8_t previous = SYNC_1;
    for (int i = 0; i < OPAQUE_BYTES; ++i) {
        previous = RandomByte(previous);
        record_.push_back(static_cast<char>(previous));
    }
    // Bad lengths stay clear of A0 and F5 so they cannot pair with a neighbour.
    const uint8_t lengthByte = badLength ? static_cast<uint8_t>(13 + made_ % 64) : length;
    record_.push_back(static_cast<char>(lengthByte));
    previous = lengthByte;
    for (int i = 0; i < length; ++i) {
        previous = RandomByte(previous);
        record_.push_back(static_cast<char>(previous));
    }
    recordUsed_ = 0;
    ++made_;
}

void TimingGenerator::Records(uint64_t count, uint64_t corrupt, const ByteSink& sink) {
    Chunker out(sink);
    out.Add(std::string_view(record_).substr(recordUsed_));
    recordUsed_ = record_.size();
    // Bad record j sits at floor((2j + 1) * count / (2 * corrupt)): one in each of
    // `corrupt` equal stretches, in its middle.
    uint64_t badSeen = 0;
    auto nextBad = [&] {
        return badSeen < corrupt ? (2 * badSeen + 1) * count / (2 * corrupt) : count;
    };
    uint64_t bad = nextBad();
    for (uint64_t i = 0; i < count; ++i) {
        const bool isBad = i == bad;
        if (isBad) {
            ++badSeen;
            bad = nextBad();
        }
        MakeRecord(isBad);
        out.Add(record_);
        recordUsed_ = record_.size();
    }
}

void TimingGenerator::Fill(uint64_t bytes, const ByteSink& sink, uint64_t corruptEvery) {
    Chunker out(sink);
    while (bytes > 0) {
        if (recordUsed_ == record_.size()) {
            MakeRecord(corruptEvery != 0 && (made_ + 1) % corruptEvery == 0);
        }
        const size_t n =
            static_cast<size_t>(std::min<uint64_t>(bytes, record_.size() - recordUsed_));
        out.Add(std::string_view(record_).substr(recordUsed_, n));
        recordUsed_ += n;
        bytes -= n;
    }
}
