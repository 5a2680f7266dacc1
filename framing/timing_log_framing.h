// The framing loops of TimingLogChecker, a template on an observer of its verdicts.
// CheckBlock instantiates them with NoFramingObserver, whose calls compile to nothing,
// so that the drains pay nothing for the observer; quorvin-check instantiates them with
// one that counts records and places errors in the file.
#pragma once

#include <algorithm>
#include <cstring>

#include "framing/timing_log_checker.h"

namespace timing_framing {

// One 16-bit comparison: the sync word is little-endian in the stream.
inline bool IsSyncAt(const uint8_t* bytes) {
    return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8)) == TIMING_SYNC;
}

inline bool IsError(FrameResult result) {
    return result == FrameResult::BadLength || result == FrameResult::NoNextSync;
}

// Offset of the first sync word at offsets 1 to count - 2; otherwise count - 1, so that
// a last byte which may open a sync word is looked at again. Off the hot path.
__attribute__((noinline)) inline uint32_t FindResyncOffset(const uint8_t* window, uint32_t count) {
    const uint8_t* end = window + count - 1;
    const uint8_t* p = window + 1;
    while (p < end) {
        p = static_cast<const uint8_t*>(std::memchr(p, TIMING_SYNC_BYTE0, end - p));
        if (p == nullptr) {
            break;
        }
        if (IsSyncAt(p)) {
            return static_cast<uint32_t>(p - window);
        }
        ++p;
    }
    return count - 1;
}

// The framing step, inlined into the block loops: a call per record would cost as much
// as the judgement itself.
__attribute__((always_inline)) inline FrameResult Frame(const uint8_t* window, uint32_t count,
                                                        uint32_t* advance) {
    *advance = 0;
    if (count < TIMING_HEADER_SIZE) {
        return FrameResult::NeedMoreData;
    }
    if (!IsSyncAt(window)) {
        *advance = FindResyncOffset(window, count);
        return FrameResult::NotAtSync;
    }
    const uint32_t payload = window[TIMING_HEADER_SIZE - 1];
    if (payload > TIMING_MAX_PAYLOAD) {
        *advance = TIMING_HEADER_SIZE;
        return FrameResult::BadLength;
    }
    const uint32_t size = TIMING_HEADER_SIZE + payload;
    if (count < size) {
        return FrameResult::NeedMoreData;
    }
    // A record that ends the window, or is followed by a sync word (or by its first byte
    // where the window ends), is accepted.
    const uint32_t following = count - size;
    if (following == 0 || (following == 1 && window[size] == TIMING_SYNC_BYTE0) ||
        (following >= 2 && IsSyncAt(window + size))) {
        *advance = size;
        return FrameResult::RecordOk;
    }
    *advance = FindResyncOffset(window, count);
    return FrameResult::NoNextSync;
}

// Tells the observer a verdict of Frame other than NeedMoreData.
template <typename Observer>
__attribute__((always_inline)) inline void Tell(Observer& observer, FrameResult result,
                                                int32_t position, uint32_t advance) {
    if (result == FrameResult::RecordOk) {
        observer.OnRecord(position, advance);
    } else if (result == FrameResult::NotAtSync) {
        observer.OnSkip(position, advance);
    } else {
        observer.OnError(position, result, advance);
    }
}

}  // namespace timing_framing

template <typename Observer, BlockEnd blockEnd>
__attribute__((always_inline)) inline int32_t TimingLogChecker::CheckBlockObserved(
    const uint8_t* block, int32_t length, Observer& observer) {
    using timing_framing::Frame;
    using timing_framing::IsError;
    using timing_framing::IsSyncAt;
    using timing_framing::Tell;
    constexpr auto WINDOW = static_cast<int32_t>(TIMING_WINDOW_SIZE);
    length = std::max(length, 0);
    int32_t errors = 0;
    int32_t pos = -carryCount;

    // The carried bytes stand at the negative positions, directly ahead of the block.
    while (pos < 0) {
        const int32_t n = std::min(length, WINDOW - carryCount);
        std::memcpy(carry + carryCount, block, static_cast<size_t>(n));
        if constexpr (blockEnd == BlockEnd::StreamContinues) {
            if (carryCount + n < WINDOW) {
                carryCount += length;  // the whole block fitted: wait for a whole window
                return errors;
            }
        }
        uint32_t advance = 0;
        const FrameResult result = Frame(carry, static_cast<uint32_t>(carryCount + n), &advance);
        if (result == FrameResult::NeedMoreData) {
            // Only when the whole block fitted: carry now holds carry and block.
            carryCount += length;
            return errors;
        }
        if (IsError(result)) {
            ++errors;
        }
        Tell(observer, result, pos, advance);
        pos += static_cast<int32_t>(advance);
        if (advance < static_cast<uint32_t>(carryCount)) {
            carryCount -= static_cast<int32_t>(advance);
            std::memmove(carry, carry + advance, TIMING_WINDOW_SIZE - advance);
        }
    }

    carryCount = 0;
    const int32_t wholeWindowsEnd = length - WINDOW;
    while (pos < length) {
        // Well-formed records with a whole window ahead, the common case: the verdict is
        // RecordOk exactly when the record is followed by a sync word.
        while (pos <= wholeWindowsEnd) {
            const uint8_t* record = block + pos;
            const uint32_t payload = record[TIMING_HEADER_SIZE - 1];
            if (!IsSyncAt(record) || payload > TIMING_MAX_PAYLOAD ||
                !IsSyncAt(record + TIMING_HEADER_SIZE + payload)) {
                break;
            }
            observer.OnRecord(pos, TIMING_HEADER_SIZE + payload);
            pos += static_cast<int32_t>(TIMING_HEADER_SIZE + payload);
        }
        const uint32_t remaining = static_cast<uint32_t>(length - pos);
        if constexpr (blockEnd == BlockEnd::StreamContinues) {
            if (remaining < TIMING_WINDOW_SIZE) {
                std::memcpy(carry, block + pos, remaining);
                carryCount = static_cast<int32_t>(remaining);
                break;
            }
        }
        uint32_t advance = 0;
        const FrameResult result =
            Frame(block + pos, std::min(remaining, TIMING_WINDOW_SIZE), &advance);
        if (result == FrameResult::NeedMoreData) {
            std::memcpy(carry, block + pos, remaining);
            carryCount = static_cast<int32_t>(remaining);
            break;
        }
        if (IsError(result)) {
            ++errors;
        }
        Tell(observer, result, pos, advance);
        pos += static_cast<int32_t>(advance);
    }
    return errors;
}
