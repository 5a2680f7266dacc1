// A saved timing log framed as one stream, from its first byte to its end, by the
// tool's own checker: each verdict placed at its 64-bit offset in the file, records
// counted, framing errors handed on as they are found, and the file's end settled.
// It reads nothing itself: the caller feeds it the file's bytes in order.
#pragma once

#include <cstddef>
#include <cstdint>

#include "framing/timing_log_checker.h"

struct FramingError {
    uint64_t offset;   // of the sync word that opens the record
    FrameResult kind;  // BadLength or NoNextSync
};

// Told each framing error as it is found, in file order.
class FramingErrorListener {
public:
    virtual void OnFramingError(const FramingError& error) = 0;

protected:
    ~FramingErrorListener() = default;
};

struct TimingFileSummary {
    uint64_t size = 0;            // bytes fed
    uint64_t records = 0;         // well-formed records
    uint64_t skippedAtStart = 0;  // bytes ahead of the first sync word
    uint64_t badLength = 0;
    uint64_t noNextSync = 0;
    // A record cut off by the end of the file (its sync word, or a last byte A0 that
    // may be one): where it starts and its bytes; 0 bytes when there is none.
    uint64_t incompleteOffset = 0;
    uint32_t incompleteSize = 0;

    uint64_t Errors() const { return badLength + noNextSync; }
};

class TimingFileFraming {
public:
    // firstOffset: the file offset of the first byte fed.
    explicit TimingFileFraming(FramingErrorListener& listener, uint64_t firstOffset = 0)
        : listener_(listener), firstOffset_(firstOffset) {}

    // The file's next bytes, as many as were read: framed in blocks the checker takes,
    // the end of each waiting for the next.
    void Feed(const uint8_t* bytes, size_t length);
    // The end of the file: frames the bytes that waited for more, then says what is left.
    void Finish();

    const TimingFileSummary& Summary() const { return summary_; }

private:
    struct Observer;
    uint64_t OffsetOf(int32_t position) const;
    void Skipped(uint64_t count);
    void SettleTail();

    FramingErrorListener& listener_;
    const uint64_t firstOffset_;
    uint64_t blockStart_ = 0;  // file offset of the checker's current block
    TimingLogChecker checker_;
    TimingFileSummary summary_;
};
