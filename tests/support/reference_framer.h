// A second, plain reading of the timing-log format, for checking the checker: it
// keeps the whole stream and positions in it instead of a carry, and judges each
// record with what has arrived so far.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

class ReferenceFramer {
public:
    // Appends one block and returns the framing errors found with it.
    int AddBlock(const uint8_t* block, size_t length);
    // Bytes received but not yet framed (what the checker must be carrying).
    size_t Pending() const { return stream_.size() - position_; }
    // Where a record cut off by the end of the stream starts, when the stream ends here:
    // the first place in what is pending that the framing would stand on as a record (a
    // sync word, or a last byte 0xA0 that may be half of one); the stream's size when
    // there is none.
    size_t CutOffAtEnd() const;

    // Every record and framing error so far, in stream order, with its stream offset.
    enum class Kind { Record, BadLength, NoNextSync };
    struct Framed {
        size_t offset;
        Kind kind;
    };
    const std::vector<Framed>& Framings() const { return framed_; }

private:
    enum class Verdict { Record, Wait, Skip, Error };
    Verdict Judge(size_t end, size_t* step) const;
    size_t NextSyncAfter(size_t from, size_t end) const;
    bool SyncAt(size_t at) const;

    std::vector<uint8_t> stream_;
    size_t position_ = 0;
    std::vector<Framed> framed_;
};

// The errors the reference finds in each block when fed the stream cut into blocks of
// these lengths, in order (their sum must not exceed the stream).
std::vector<int> ReferenceErrorsPerBlock(std::string_view stream,
                                         const std::vector<size_t>& lengths);
