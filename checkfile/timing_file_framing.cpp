#include "checkfile/timing_file_framing.h"

#include <algorithm>

#include "framing/timing_log_framing.h"

// Counts records in a register of its own, and hands the rarer verdicts to the framing.
struct TimingFileFraming::Observer {
    TimingFileFraming& framing;
    uint64_t records = 0;

    void OnRecord(int32_t /*position*/, uint32_t /*size*/) { ++records; }
    void OnSkip(int32_t /*position*/, uint32_t count) {
        // Whether the skip is at the start depends on the records so far.
        framing.summary_.records += records;
        records = 0;
        framing.Skipped(count);
    }
    void OnError(int32_t position, FrameResult kind, uint32_t /*advance*/) {
        ++(kind == FrameResult::BadLength ? framing.summary_.badLength
                                          : framing.summary_.noNextSync);
        framing.listener_.OnFramingError({framing.OffsetOf(position), kind});
    }
};

// Carried bytes stand at negative positions, ahead of the block.
uint64_t TimingFileFraming::OffsetOf(int32_t position) const {
    return blockStart_ + static_cast<uint64_t>(static_cast<int64_t>(position));
}

void TimingFileFraming::Skipped(uint64_t count) {
    if (summary_.records == 0 && summary_.Errors() == 0) {
        summary_.skippedAtStart += count;
    }
}

void TimingFileFraming::Feed(const uint8_t* bytes, size_t length) {
    Observer observer{*this};
    while (length > 0) {
        const auto block =
            static_cast<int32_t>(std::min(length, static_cast<size_t>(TIMING_MAX_BLOCK)));
        blockStart_ = firstOffset_ + summary_.size;
        checker_.CheckBlockObserved<Observer, BlockEnd::StreamContinues>(bytes, block, observer);
        summary_.size += static_cast<uint64_t>(block);
        bytes += block;
        length -= static_cast<size_t>(block);
    }
    summary_.records += observer.records;
}

void TimingFileFraming::Finish() {
    Observer observer{*this};
    const uint8_t nothing = 0;
    blockStart_ = firstOffset_ + summary_.size;
    checker_.CheckBlockObserved<Observer, BlockEnd::LimitsLookAhead>(&nothing, 0, observer);
    summary_.records += observer.records;
    SettleTail();
}

// What the checker still carries is too short for a verdict. A record cut off by the
// end starts at its first sync word, or at a last byte A0; the bytes ahead of it were
// never part of a record.
void TimingFileFraming::SettleTail() {
    const auto count = static_cast<uint32_t>(checker_.carryCount);
    const uint8_t* tail = checker_.carry;
    uint32_t start = 0;
    while (start < count && !(tail[start] == TIMING_SYNC_BYTE0 &&
                              (start + 1 == count || tail[start + 1] == TIMING_SYNC_BYTE1))) {
        ++start;
    }
    Skipped(start);
    if (start < count) {
        summary_.incompleteOffset = firstOffset_ + summary_.size - (count - start);
        summary_.incompleteSize = count - start;
    }
}
