#include "framing/timing_log_checker.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/reference_framer.h"
#include "tests/support/timing_stream.h"

namespace {

using Bytes = std::vector<uint8_t>;

int32_t Check(TimingLogChecker& checker, const Bytes& bytes, size_t from, size_t to) {
    // A block of its own, so that a read past its end is a read past an allocation.
    std::unique_ptr<uint8_t[]> block(new uint8_t[to - from + 1]);
    std::copy(bytes.begin() + from, bytes.begin() + to, block.get());
    return checker.CheckBlock(block.get(), static_cast<int32_t>(to - from));
}

Bytes Record(uint8_t payloadLength, uint32_t seed = 7) {
    Bytes record;
    AppendTimingRecord(record, payloadLength, seed, false);
    return record;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

// Offset of the record that contains byte position cut, or cut itself at a boundary.
size_t RecordStartBefore(const std::vector<size_t>& offsets, size_t cut) {
    size_t start = 0;
    for (size_t offset : offsets) {
        if (offset <= cut) {
            start = offset;
        }
    }
    return start;
}

// The checker and the reference fed the same blocks (the stream cut at these positions):
// each block's count is the reference's, and the checker carries exactly the bytes the
// reference has not framed yet.
void ExpectSameAsReference(const Bytes& stream, const std::vector<size_t>& cuts,
                           const std::string& what) {
    TimingLogChecker checker;
    ReferenceFramer reference;
    size_t from = 0;
    for (size_t k = 0; k <= cuts.size(); ++k) {
        const size_t to = k < cuts.size() ? cuts[k] : stream.size();
        const int32_t errors = Check(checker, stream, from, to);
        ASSERT_EQ(errors, reference.AddBlock(stream.data() + from, to - from))
            << what << ", block " << k;
        ASSERT_EQ(static_cast<size_t>(checker.carryCount), reference.Pending())
            << what << ", block " << k;
        from = to;
    }
}

TEST(TimingLogChecker, CorruptStreamsCutAtEveryPositionCountAsTheReference) {
    for (uint32_t seed = 1; seed <= 8; ++seed) {
        const Bytes stream = MakeCorruptTimingStream(60, seed);
        for (size_t cut = 0; cut <= stream.size(); ++cut) {
            ExpectSameAsReference(
                stream, {cut}, "seed " + std::to_string(seed) + ", cut at " + std::to_string(cut));
        }
    }
}

TEST(TimingLogChecker, CorruptStreamCutAtEveryPairOfPositionsCountsAsTheReference) {
    const Bytes stream = MakeCorruptTimingStream(8, 99);
    for (size_t first = 0; first <= stream.size(); ++first) {
        for (size_t second = first; second <= stream.size(); ++second) {
            ExpectSameAsReference(
                stream, {first, second},
                "cuts at " + std::to_string(first) + " and " + std::to_string(second));
        }
    }
}

// The whole window at work: a largest record that begins in the carry is judged by the
// two bytes after it, 0xA0 and a byte that does not complete the sync word.
TEST(TimingLogChecker, LargestRecordFromTheCarryFollowedByAHalfSyncWord) {
    const Bytes first = Record(5, 1);
    const Bytes stream = Concat({first, Record(12, 2), Bytes{0xA0, 0x5A}, Record(3, 3)});
    for (size_t into = 1; into < 26; ++into) {
        const size_t cut = first.size() + into;
        TimingLogChecker checker;
        ASSERT_EQ(Check(checker, stream, 0, cut), 0);
        ASSERT_EQ(checker.carryCount, static_cast<int32_t>(into));
        EXPECT_EQ(Check(checker, stream, cut, stream.size()), 1) << into << " bytes carried";
        ExpectSameAsReference(stream, {cut}, std::to_string(into) + " bytes carried");
    }
}

TEST(TimingLogChecker, WellFormedStreamCutAtEveryPositionHasNoErrors) {
    const Bytes stream = MakeTimingStream(700);
    std::vector<size_t> offsets = RecordOffsets(stream);
    offsets.push_back(stream.size());  // the end is a boundary too
    for (size_t cut = 0; cut <= stream.size(); ++cut) {
        TimingLogChecker checker;
        ASSERT_EQ(Check(checker, stream, 0, cut), 0) << "cut at " << cut;
        const size_t start = RecordStartBefore(offsets, cut);
        ASSERT_EQ(checker.carryCount, static_cast<int32_t>(cut - start)) << "cut at " << cut;
        ASSERT_TRUE(std::equal(stream.begin() + start, stream.begin() + cut, checker.carry));
        ASSERT_EQ(Check(checker, stream, cut, stream.size()), 0) << "cut at " << cut;
        EXPECT_EQ(checker.carryCount, 0);
    }
}

TEST(TimingLogChecker, WellFormedStreamInBlocksOfEverySizeHasNoErrors) {
    const Bytes stream = MakeTimingStream(3000, {.seed = 3, .syncPairsInside = true});
    for (size_t blockSize = 1; blockSize <= 64; ++blockSize) {
        TimingLogChecker checker;
        for (size_t at = 0; at < stream.size(); at += blockSize) {
            ASSERT_EQ(Check(checker, stream, at, std::min(stream.size(), at + blockSize)), 0)
                << "blocks of " << blockSize << " at " << at;
            ASSERT_GE(checker.carryCount, 0);
            ASSERT_LE(checker.carryCount, 25);
        }
    }
}

TEST(TimingLogChecker, StreamThatBeginsMidRecordSkipsToTheFirstSync) {
    const Bytes stream = MakeTimingStream(400, {.seed = 5, .syncPairsInside = false});
    const size_t firstSize = 14u + stream[13];
    for (size_t skip = 1; skip < firstSize; ++skip) {
        TimingLogChecker checker;
        EXPECT_EQ(Check(checker, stream, skip, stream.size()), 0) << "skip " << skip;
    }
}

TEST(TimingLogChecker, BadLengthCountsOnceAndFramingResumes) {
    for (uint8_t badLength : {uint8_t{13}, uint8_t{200}, uint8_t{255}}) {
        Bytes bad = Record(12, 11);
        bad[13] = badLength;
        const Bytes stream = Concat({Record(3, 1), Record(5, 2), bad, Record(0, 3), Record(12, 4)});
        for (size_t cut = 0; cut <= stream.size(); ++cut) {
            TimingLogChecker checker;
            const int32_t errors =
                Check(checker, stream, 0, cut) + Check(checker, stream, cut, stream.size());
            ASSERT_EQ(errors, 1) << "length " << int{badLength} << ", cut at " << cut;
        }
    }
}

TEST(TimingLogChecker, MissingNextSyncCountsOnce) {
    const Bytes stream = Concat({Record(4, 1), Record(7, 2), Bytes{0x00}, Record(2, 3)});
    TimingLogChecker checker;
    EXPECT_EQ(Check(checker, stream, 0, stream.size()), 1);
    EXPECT_EQ(checker.carryCount, 0);
}

TEST(TimingLogChecker, ResyncSearchStartsAtTheBadRecordsSecondByte) {
    Bytes window = Record(10, 1);
    window[5] = 0xA0;  // a sync pair inside the opaque bytes
    window[6] = 0xF5;
    window.push_back(0x00);  // not followed by a sync word
    window.push_back(0x00);
    uint32_t advance = 0;
    EXPECT_EQ(FrameTimingRecord(window.data(), static_cast<uint32_t>(window.size()), &advance),
              FrameResult::NoNextSync);
    EXPECT_EQ(advance, 5u);
}

TEST(TimingLogChecker, LastRecordFollowedByOneByte) {
    TimingLogChecker ok;
    const Bytes withSyncByte = Concat({Record(6), Bytes{0xA0}});
    EXPECT_EQ(Check(ok, withSyncByte, 0, withSyncByte.size()), 0);
    EXPECT_EQ(ok.carryCount, 1);

    TimingLogChecker bad;
    const Bytes withStray = Concat({Record(6), Bytes{0x00}});
    EXPECT_EQ(Check(bad, withStray, 0, withStray.size()), 1);
}

TEST(TimingLogChecker, RecordEndingAtBlockEndIsAcceptedWithoutLookAhead) {
    const Bytes garbage = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A};
    const Bytes stream = Concat({Record(8), garbage, Record(1)});
    TimingLogChecker split;
    const size_t cut = Record(8).size();
    EXPECT_EQ(Check(split, stream, 0, cut) + Check(split, stream, cut, stream.size()), 0);

    TimingLogChecker whole;
    EXPECT_EQ(Check(whole, stream, 0, stream.size()), 1);
}

TEST(TimingLogChecker, ZeroLengthBlockLeavesTheCarryAlone) {
    const Bytes stream = Concat({Record(9), Record(9, 8)});
    const size_t cut = Record(9).size() + 7;
    TimingLogChecker checker;
    ASSERT_EQ(Check(checker, stream, 0, cut), 0);
    ASSERT_EQ(checker.carryCount, 7);
    const Bytes before(checker.carry, checker.carry + 7);
    const uint8_t unused = 0;
    EXPECT_EQ(checker.CheckBlock(&unused, 0), 0);
    EXPECT_EQ(checker.carryCount, 7);
    EXPECT_EQ(Bytes(checker.carry, checker.carry + 7), before);
    EXPECT_EQ(Check(checker, stream, cut, stream.size()), 0);
}

TEST(TimingLogChecker, ShortBlockThatStillHoldsNoVerdictGrowsTheCarry) {
    const Bytes stream = Concat({Record(12), Record(12, 9)});
    TimingLogChecker checker;
    const size_t first = Record(12).size();
    ASSERT_EQ(Check(checker, stream, 0, first + 5), 0);
    ASSERT_EQ(checker.carryCount, 5);
    EXPECT_EQ(Check(checker, stream, first + 5, first + 11), 0);
    EXPECT_EQ(checker.carryCount, 11);
    EXPECT_TRUE(std::equal(stream.begin() + first, stream.begin() + first + 11, checker.carry));
}

TEST(TimingLogChecker, SyncPairsInsideARecordDoNotStartRecords) {
    Bytes inside = Record(12, 4);
    inside[3] = 0xA0;  // opaque bytes
    inside[4] = 0xF5;
    inside[20] = 0xA0;  // payload
    inside[21] = 0xF5;
    uint32_t advance = 0;
    EXPECT_EQ(FrameTimingRecord(inside.data(), static_cast<uint32_t>(inside.size()), &advance),
              FrameResult::RecordOk);
    EXPECT_EQ(advance, inside.size());
    const Bytes stream = Concat({Record(1), inside, Record(2), inside, inside});
    TimingLogChecker checker;
    EXPECT_EQ(Check(checker, stream, 0, stream.size()), 0);
}

TEST(TimingLogChecker, FramerVerdicts) {
    const Bytes record = Record(12);
    uint32_t advance = 99;
    EXPECT_EQ(FrameTimingRecord(record.data(), 13, &advance), FrameResult::NeedMoreData);
    EXPECT_EQ(advance, 0u);
    EXPECT_EQ(FrameTimingRecord(record.data(), 20, &advance), FrameResult::NeedMoreData);
    EXPECT_EQ(advance, 0u);
    EXPECT_EQ(FrameTimingRecord(record.data(), 26, &advance), FrameResult::RecordOk);
    EXPECT_EQ(advance, 26u);

    const Bytes noSync(28, 0x11);
    EXPECT_EQ(FrameTimingRecord(noSync.data(), 28, &advance), FrameResult::NotAtSync);
    EXPECT_EQ(advance, 27u);
    Bytes lateSync(28, 0x11);
    lateSync[26] = 0xA0;
    lateSync[27] = 0xF5;
    EXPECT_EQ(FrameTimingRecord(lateSync.data(), 28, &advance), FrameResult::NotAtSync);
    EXPECT_EQ(advance, 26u);

    Bytes badLength = record;
    badLength[13] = 13;
    EXPECT_EQ(FrameTimingRecord(badLength.data(), 14, &advance), FrameResult::BadLength);
    EXPECT_EQ(advance, 14u);
}

TEST(TimingLogChecker, GarbageCostsNothingAndKeepsTheCarrySmall) {
    uint32_t seed = 42;
    Bytes garbage(10000);
    for (uint8_t& byte : garbage) {
        seed = seed * 1664525u + 1013904223u;
        byte = static_cast<uint8_t>(seed >> 24);
        if (byte == 0xA0) {
            byte = 0xA1;
        }
    }
    TimingLogChecker checker;
    for (size_t at = 0; at < garbage.size(); at += 333) {
        EXPECT_EQ(Check(checker, garbage, at, std::min(garbage.size(), at + 333)), 0);
        EXPECT_LE(checker.carryCount, 25);
    }
}

TEST(TimingLogChecker, ResetForgetsTheCarry) {
    const Bytes stream = Record(12);
    TimingLogChecker checker;
    Check(checker, stream, 0, 10);
    ASSERT_EQ(checker.carryCount, 10);
    checker.Reset();
    EXPECT_EQ(checker.carryCount, 0);
    // The rest of the record is now mid-record data, skipped without an error.
    EXPECT_EQ(Check(checker, stream, 10, stream.size()), 0);
}

}  // namespace
