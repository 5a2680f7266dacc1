// Framing check of the driver's timing-log stream. Records are a 14-byte header
// opened by the sync word 0xF5A0 (bytes A0 F5) with the payload length in byte 13,
// followed by 0 to 12 payload bytes. The checker only reads; a carry of at most 25
// bytes (27 while a file is read in pieces) joins a record cut by the end of one block
// to the head of the next.
#pragma once

#include <cstdint>

inline constexpr uint16_t TIMING_SYNC = 0xF5A0;
inline constexpr uint8_t TIMING_SYNC_BYTE0 = 0xA0;
inline constexpr uint8_t TIMING_SYNC_BYTE1 = 0xF5;
inline constexpr uint32_t TIMING_HEADER_SIZE = 14;
inline constexpr uint32_t TIMING_MAX_PAYLOAD = 12;
// The largest record and the sync word after it.
inline constexpr uint32_t TIMING_WINDOW_SIZE = 28;
// The largest block the checker takes at once: one read of the driver's log.
inline constexpr int32_t TIMING_MAX_BLOCK = 4096;

enum class FrameResult : uint32_t {
    RecordOk = 0,      // a whole, well-formed record at the window start
    NeedMoreData = 1,  // too short to decide
    NotAtSync = 2,     // no sync word at the window start (not an error)
    BadLength = 3,     // payload length above 12 (an error)
    NoNextSync = 4,    // the record is not followed by a sync word (an error)
};

// Judges the bytes at the start of a window of count bytes (at most 28 in use) and
// says by how many bytes to step forward. Reads nothing outside the window.
FrameResult FrameTimingRecord(const uint8_t* window, uint32_t count, uint32_t* advance);

// How far the framing of a block may look. LimitsLookAhead: the block's end is as far as
// the stream is known (a drain of the driver), so a record that reaches it is judged
// with a shortened look-ahead. StreamContinues: more of the stream follows (a file read
// in pieces), so the block's last bytes wait, carried (up to 27), until a whole window
// is there; a zero-length LimitsLookAhead block after the last piece judges them.
enum class BlockEnd { LimitsLookAhead, StreamContinues };

// What the framing decides, for a reader that wants more than the error count. A
// position counts from the block's first byte; carried bytes stand at negative
// positions. Each verdict is told once, in stream order; NeedMoreData is not told.
struct NoFramingObserver {
    void OnRecord(int32_t /*position*/, uint32_t /*size*/) {}
    void OnSkip(int32_t /*position*/, uint32_t /*count*/) {}  // NotAtSync
    void OnError(int32_t /*position*/, FrameResult /*kind*/, uint32_t /*advance*/) {}
};

class TimingLogChecker {
public:
    TimingLogChecker() = default;

    // Frames one block (0 to 4096 bytes) after the carried bytes and returns the number
    // of framing errors found; the block's unframed tail is carried to the next call.
    int32_t CheckBlock(const uint8_t* block, int32_t length);
    // The same framing, telling an observer each verdict (framing/timing_log_framing.h).
    template <typename Observer, BlockEnd blockEnd>
    int32_t CheckBlockObserved(const uint8_t* block, int32_t length, Observer& observer);
    // Forgets the carried bytes: the next block starts a new stream.
    void Reset() { carryCount = 0; }

    uint8_t carry[TIMING_WINDOW_SIZE] = {};
    int32_t carryCount = 0;
};
