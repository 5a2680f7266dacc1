#include "tests/support/reference_framer.h"

#include <algorithm>

namespace {

constexpr size_t HEADER = 14;
constexpr size_t MAX_PAYLOAD = 12;
constexpr size_t WINDOW = 28;  // the largest record and the next sync word

}  // namespace

bool ReferenceFramer::SyncAt(size_t at) const {
    return stream_[at] == 0xA0 && stream_[at + 1] == 0xF5;
}

// The first sync word that starts after from and ends before end; or the last byte
// before end, which may be the first half of one.
size_t ReferenceFramer::NextSyncAfter(size_t from, size_t end) const {
    for (size_t at = from + 1; at + 1 < end; ++at) {
        if (SyncAt(at)) {
            return at;
        }
    }
    return end - 1;
}

// Judges the record at position_, looking no further than end (at most a window).
ReferenceFramer::Verdict ReferenceFramer::Judge(size_t end, size_t* step) const {
    const size_t p = position_;
    if (end - p < HEADER) {
        return Verdict::Wait;
    }
    if (!SyncAt(p)) {
        *step = NextSyncAfter(p, end) - p;
        return Verdict::Skip;
    }
    const size_t payload = stream_[p + 13];
    if (payload > MAX_PAYLOAD) {
        *step = HEADER;
        return Verdict::Error;
    }
    const size_t next = p + HEADER + payload;
    if (end < next) {
        return Verdict::Wait;
    }
    const bool followedBySync = end == next || (end == next + 1 && stream_[next] == 0xA0) ||
                                (end >= next + 2 && SyncAt(next));
    if (followedBySync) {
        *step = next - p;
        return Verdict::Record;
    }
    *step = NextSyncAfter(p, end) - p;
    return Verdict::Error;
}

int ReferenceFramer::AddBlock(const uint8_t* block, size_t length) {
    stream_.insert(stream_.end(), block, block + length);
    int errors = 0;
    for (;;) {
        const size_t end = std::min(stream_.size(), position_ + WINDOW);
        size_t step = 0;
        const Verdict verdict = Judge(end, &step);
        if (verdict == Verdict::Wait) {
            return errors;
        }
        errors += verdict == Verdict::Error ? 1 : 0;
        if (verdict == Verdict::Record) {
            framed_.push_back({position_, Kind::Record});
        } else if (verdict == Verdict::Error) {
            // An error at a sync word: its length byte says which.
            const bool badLength = stream_[position_ + 13] > MAX_PAYLOAD;
            framed_.push_back({position_, badLength ? Kind::BadLength : Kind::NoNextSync});
        }
        position_ += step;
    }
}

// The framing goes on over what is pending as it would with more to come: it steps from
// one possible sync word to the next, and the first one it stands on opens the record
// that the end cut off.
size_t ReferenceFramer::CutOffAtEnd() const {
    const size_t end = stream_.size();
    for (size_t at = position_; at < end; at = NextSyncAfter(at, end)) {
        if (at + 1 == end) {
            return stream_[at] == 0xA0 ? at : end;
        }
        if (SyncAt(at)) {
            return at;
        }
    }
    return end;
}

std::vector<int> ReferenceErrorsPerBlock(std::string_view stream,
                                         const std::vector<size_t>& lengths) {
    ReferenceFramer reference;
    std::vector<int> errors;
    size_t at = 0;
    for (const size_t length : lengths) {
        errors.push_back(
            reference.AddBlock(reinterpret_cast<const uint8_t*>(stream.data()) + at, length));
        at += length;
    }
    return errors;
}
