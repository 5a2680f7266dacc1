// A saved timing log framed as one stream: the records, errors and skips that the
// checker's observer reports, placed in the file, against the reference framer given
// the whole file at once; and the checker's own drains, observed block by block.
#include "checkfile/timing_file_framing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "framing/timing_log_framing.h"
#include "tests/support/reference_framer.h"
#include "tests/support/timing_stream.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Kind = ReferenceFramer::Kind;

struct Found {
    uint64_t offset;
    Kind kind;
    bool operator==(const Found&) const = default;
};

void PrintTo(const Found& found, std::ostream* out) {
    *out << "{" << found.offset << ", " << static_cast<int>(found.kind) << "}";
}

Kind KindOf(FrameResult result) {
    return result == FrameResult::BadLength ? Kind::BadLength : Kind::NoNextSync;
}

class ErrorList : public FramingErrorListener {
public:
    void OnFramingError(const FramingError& error) override {
        errors.push_back({error.offset, KindOf(error.kind)});
    }
    std::vector<Found> errors;
};

// What framing the whole file should give, from the reference framer.
struct Expected {
    std::vector<Found> errors;
    uint64_t records = 0;
    uint64_t skippedAtStart = 0;
    uint64_t incompleteOffset = 0;
    uint32_t incompleteSize = 0;
};

Expected FromReference(const Bytes& stream, uint64_t firstOffset = 0) {
    ReferenceFramer reference;
    reference.AddBlock(stream.data(), stream.size());
    Expected expected;
    for (const ReferenceFramer::Framed& framed : reference.Framings()) {
        if (framed.kind == Kind::Record) {
            ++expected.records;
        } else {
            expected.errors.push_back({firstOffset + framed.offset, framed.kind});
        }
    }
    const size_t start = reference.CutOffAtEnd();
    if (start < stream.size()) {
        expected.incompleteOffset = firstOffset + start;
        expected.incompleteSize = static_cast<uint32_t>(stream.size() - start);
    }
    expected.skippedAtStart = reference.Framings().empty() ? start : reference.Framings()[0].offset;
    return expected;
}

// Feeds the stream in pieces of the given sizes, cycling through them.
void ExpectFramedAsReference(const Bytes& stream, const std::vector<size_t>& pieces,
                             uint64_t firstOffset, const std::string& what) {
    ErrorList found;
    TimingFileFraming framing(found, firstOffset);
    size_t turn = 0;
    for (size_t at = 0; at < stream.size(); ++turn) {
        const size_t length = std::min(pieces[turn % pieces.size()], stream.size() - at);
        // A piece of its own, so that a read past its end is a read past an allocation.
        std::unique_ptr<uint8_t[]> piece(new uint8_t[length + 1]);
        std::copy_n(stream.begin() + static_cast<ptrdiff_t>(at), length, piece.get());
        framing.Feed(piece.get(), length);
        at += length;
    }
    framing.Finish();
    const Expected expected = FromReference(stream, firstOffset);
    const TimingFileSummary& summary = framing.Summary();
    EXPECT_EQ(found.errors, expected.errors) << what;
    EXPECT_EQ(summary.records, expected.records) << what;
    EXPECT_EQ(summary.size, stream.size()) << what;
    EXPECT_EQ(summary.skippedAtStart, expected.skippedAtStart) << what;
    EXPECT_EQ(summary.incompleteSize, expected.incompleteSize) << what;
    EXPECT_EQ(summary.incompleteOffset, expected.incompleteOffset) << what;
    EXPECT_EQ(summary.badLength + summary.noNextSync, expected.errors.size()) << what;
}

TEST(TimingFileFraming, DamagedStreamsFrameAsTheReferenceWhateverThePieces) {
    const std::vector<std::vector<size_t>> pieceSizes = {
        {size_t{1} << 20}, {1}, {4096}, {4095, 4097}, {27, 28, 29, 1, 0, 3}, {65536, 13}};
    for (uint32_t seed = 1; seed <= 150; ++seed) {
        const Bytes stream = MakeCorruptTimingStream(seed % 10 == 0 ? 8000 : 300, seed);
        for (const std::vector<size_t>& pieces : pieceSizes) {
            ExpectFramedAsReference(
                stream, pieces, 0,
                "seed " + std::to_string(seed) + ", pieces of " + testing::PrintToString(pieces));
        }
        if (HasFailure()) {
            return;
        }
    }
}

TEST(TimingFileFraming, OffsetsBeyondFourGiB) {
    const uint64_t firstOffset = (uint64_t{5} << 30) + 3;
    for (uint32_t seed = 200; seed < 210; ++seed) {
        ExpectFramedAsReference(MakeCorruptTimingStream(2000, seed), {size_t{1} << 20}, firstOffset,
                                "seed " + std::to_string(seed));
    }
    // A record whose header crosses 4 GiB, carried from one piece into the next.
    Bytes stream = MakeTimingStream(200, {.seed = 9, .syncPairsInside = false});
    stream[13] = 99;  // the first record's length byte
    ErrorList found;
    TimingFileFraming framing(found, (uint64_t{4} << 30) - 10);
    framing.Feed(stream.data(), 5);
    framing.Feed(stream.data() + 5, stream.size() - 5);
    framing.Finish();
    ASSERT_EQ(found.errors.size(), 1u);
    EXPECT_EQ(found.errors[0], (Found{(uint64_t{4} << 30) - 10, Kind::BadLength}));
}

TEST(TimingFileFraming, WhatTheEndOfTheFileLeaves) {
    Bytes record;
    uint32_t seed = 5;
    AppendTimingRecord(record, 6, seed, false);  // 20 bytes
    auto with = [&](Bytes tail) {
        Bytes all = record;
        all.insert(all.end(), tail.begin(), tail.end());
        return all;
    };
    struct Case {
        const char* what;
        Bytes stream;
        uint64_t records, errors, skippedAtStart, incompleteOffset;
        uint32_t incompleteSize;
    };
    const Case cases[] = {
        {"empty", {}, 0, 0, 0, 0, 0},
        {"one whole record", record, 1, 0, 0, 0, 0},
        {"a few bytes, none a sync word", {1, 2, 3, 0xF5, 0xA0, 6}, 0, 0, 6, 0, 0},
        {"bytes, then a record cut off", {1, 2, 0xA0, 0xF5, 9, 9}, 0, 0, 2, 2, 4},
        {"a record and a lone A0", with({0xA0}), 1, 0, 0, 20, 1},
        {"a record and a cut-off header", with({0xA0, 0xF5, 1, 2, 3}), 1, 0, 0, 20, 5},
        {"a record and a cut-off payload", with(Bytes(record.begin(), record.end() - 1)), 1, 0, 0,
         20, 19},
        {"a record not followed by a sync word", with({7, 7, 7}), 0, 1, 0, 0, 0},
        {"the middle of a record only", Bytes(record.begin() + 3, record.end()), 0, 0, 17, 0, 0},
    };
    for (const Case& c : cases) {
        ErrorList found;
        TimingFileFraming framing(found);
        framing.Feed(c.stream.data(), c.stream.size());
        framing.Finish();
        const TimingFileSummary& summary = framing.Summary();
        EXPECT_EQ(summary.records, c.records) << c.what;
        EXPECT_EQ(summary.Errors(), c.errors) << c.what;
        EXPECT_EQ(found.errors.size(), c.errors) << c.what;
        EXPECT_EQ(summary.skippedAtStart, c.skippedAtStart) << c.what;
        EXPECT_EQ(summary.incompleteSize, c.incompleteSize) << c.what;
        EXPECT_EQ(summary.incompleteOffset, c.incompleteOffset) << c.what;
        EXPECT_EQ(summary.size, c.stream.size()) << c.what;
    }
}

// The one place where a file and a drain differ: a record that ends where a driver's
// block ends is accepted unseen, but in a file the bytes after it are there to look at.
TEST(TimingFileFraming, ABlockEndInsideTheFileShortensNoLookAhead) {
    Bytes stream = MakeTimingStream(5000, {.seed = 4, .syncPairsInside = false});
    const std::vector<size_t> offsets = RecordOffsets(stream);
    const size_t cut = *std::upper_bound(offsets.begin(), offsets.end(), size_t{4000});
    stream.insert(stream.begin() + static_cast<ptrdiff_t>(cut), {1, 2, 3});
    TimingLogChecker drains;
    const int32_t drained =
        drains.CheckBlock(stream.data(), static_cast<int32_t>(cut)) +
        drains.CheckBlock(stream.data() + cut, static_cast<int32_t>(stream.size() - cut));
    EXPECT_EQ(drained, 0);
    ErrorList found;
    TimingFileFraming framing(found);
    framing.Feed(stream.data(), cut);
    framing.Feed(stream.data() + cut, stream.size() - cut);
    framing.Finish();
    const std::vector<Found> expected = {
        {*(std::upper_bound(offsets.begin(), offsets.end(), size_t{4000}) - 1), Kind::NoNextSync}};
    EXPECT_EQ(found.errors, expected);
}

// An observer that keeps every verdict, placed by the stream offset of the block.
struct Recorder {
    uint64_t blockStart = 0;
    std::vector<Found> framed;
    void OnRecord(int32_t position, uint32_t /*size*/) {
        framed.push_back({At(position), Kind::Record});
    }
    void OnSkip(int32_t /*position*/, uint32_t /*count*/) {}
    void OnError(int32_t position, FrameResult kind, uint32_t /*advance*/) {
        framed.push_back({At(position), KindOf(kind)});
    }
    uint64_t At(int32_t position) const {
        return blockStart + static_cast<uint64_t>(int64_t{position});
    }
};

TEST(TimingFileFraming, TheDrainsObservedBlockByBlockAgreeWithTheReference) {
    for (uint32_t seed = 300; seed < 340; ++seed) {
        const Bytes stream = MakeCorruptTimingStream(400, seed);
        TimingLogChecker observed;
        TimingLogChecker plain;
        ReferenceFramer reference;
        Recorder recorder;
        uint32_t sizes = seed;
        for (size_t at = 0; at < stream.size();) {
            sizes = sizes * 1103515245u + 12345u;
            const size_t length = std::min<size_t>((sizes >> 16) % 90, stream.size() - at);
            std::unique_ptr<uint8_t[]> block(new uint8_t[length + 1]);
            std::copy_n(stream.begin() + static_cast<ptrdiff_t>(at), length, block.get());
            recorder.blockStart = at;
            const int32_t errors = observed.CheckBlockObserved<Recorder, BlockEnd::LimitsLookAhead>(
                block.get(), static_cast<int32_t>(length), recorder);
            ASSERT_EQ(errors, plain.CheckBlock(block.get(), static_cast<int32_t>(length)));
            ASSERT_EQ(errors, reference.AddBlock(block.get(), length));
            ASSERT_EQ(observed.carryCount, plain.carryCount);
            at += length;
        }
        std::vector<Found> expected;
        for (const ReferenceFramer::Framed& framed : reference.Framings()) {
            expected.push_back({framed.offset, framed.kind});
        }
        EXPECT_EQ(recorder.framed, expected) << "seed " << seed;
    }
}

}  // namespace
