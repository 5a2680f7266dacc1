// A log written in pieces, on Linux and under Wine: where pieces may end when the log
// gives no ordinary place for it (a text line longer than a piece, a timing log with no
// record in it), and what its pieces hold, as the disk has them (CR LF on Windows).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "logs/capture_options.h"
#include "logs/piece_ring.h"
#include "platform/log_files.h"

namespace {

namespace fs = std::filesystem;

class PieceRingTest : public testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::path("pieces_of_a_log") /
                  testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }

    std::string Name() const { return (folder_ / "LOG.TXT").string(); }

    // Every piece's bytes as the disk has them, in order of number.
    std::vector<std::string> Pieces(size_t count) const {
        std::vector<std::string> pieces;
        for (size_t number = 1; number <= count; ++number) {
            std::ifstream in(PieceName(Name(), number), std::ios::binary);
            std::ostringstream bytes;
            bytes << in.rdbuf();
            pieces.push_back(bytes.str());
        }
        return pieces;
    }

    // What a text-mode file holds for these bytes.
    static std::string OnDisk(const std::string& text) {
        std::string disk;
        for (char c : text) {
            if (c == '\n' && TEXT_LINE_FEED_BYTES == 2) {
                disk += '\r';
            }
            disk += c;
        }
        return disk;
    }

    fs::path folder_;
};

TEST(PieceName, NumberGoesBeforeTheExtensionOfTheLastComponent) {
    EXPECT_EQ(PieceName("A.LOG", 1), "A-00001.LOG");
    EXPECT_EQ(PieceName("T", 12), "T-00012");
    EXPECT_EQ(PieceName("DIR.X/T", 3), "DIR.X/T-00003");
    EXPECT_EQ(PieceName("DIR\\.HIDDEN", 4), "DIR\\.HIDDEN-00004");
    EXPECT_EQ(PieceName("A.B.C", 123456), "A.B-123456.C");
}

// Lines of every length in blocks of any size: a piece ends after a line feed and holds
// at most a piece's bytes on disk, but for a line longer than that, which has a piece of
// its own.
TEST_F(PieceRingTest, TextPiecesEndAfterALineFeedAndAreNoLargerThanAllowed) {
    constexpr uint64_t SIZE = 64 << 10;
    std::string text;
    for (size_t length : {10, 30000, 40000, 100000, 63000, 5, 64000, 70000, 1}) {
        text.append(length - 1, 'x').push_back('\n');
    }
    text += "no line feed at the end";
    PieceRing ring(Name().c_str(), false, PieceOptions{SIZE, 0});
    ASSERT_EQ(ring.Start(), 1);
    for (size_t at = 0, step = 1; at < text.size(); at += step, step = step * 7 % 4093 + 1) {
        const std::string block = text.substr(at, step);
        ASSERT_EQ(ring.Write(reinterpret_cast<const uint8_t*>(block.data()),
                             static_cast<uint32_t>(block.size()), nullptr),
                  1);
    }
    ASSERT_EQ(ring.Close(), 1);
    const std::vector<std::string> pieces = Pieces(ring.Piece());
    std::string joined;
    for (size_t i = 0; i < pieces.size(); ++i) {
        const std::string& piece = pieces[i];
        joined += piece;
        const size_t lines = static_cast<size_t>(std::count(piece.begin(), piece.end(), '\n'));
        EXPECT_TRUE(piece.size() <= SIZE || lines == 1) << "piece " << i + 1;
        EXPECT_TRUE(i + 1 == pieces.size() || piece.back() == '\n') << "piece " << i + 1;
    }
    EXPECT_TRUE(joined == OnDisk(text));
    EXPECT_EQ(pieces.size(), 7u);
}

// A timing log in which no record ends gives no place to cut: it is cut all the same, so
// that no piece grows past its size.
TEST_F(PieceRingTest, TimingBytesWithNoRecordAreCutToo) {
    constexpr uint64_t SIZE = 64 << 10;
    const std::string garbage(300000, '\x5A');
    PieceRing ring(Name().c_str(), true, PieceOptions{SIZE, 2});
    ASSERT_EQ(ring.Start(), 1);
    BlockCuts none;  // no record ends anywhere
    for (size_t at = 0; at < garbage.size(); at += 4096) {
        const std::string block = garbage.substr(at, 4096);
        ASSERT_EQ(ring.Write(reinterpret_cast<const uint8_t*>(block.data()),
                             static_cast<uint32_t>(block.size()), &none),
                  1);
    }
    ASSERT_EQ(ring.Close(), 1);
    const uint64_t last = ring.Piece();
    ASSERT_GE(last, 5u);
    uint64_t kept = 0;
    for (uint64_t number = 1; number <= last; ++number) {
        if (fs::exists(PieceName(Name(), number))) {
            EXPECT_LE(fs::file_size(PieceName(Name(), number)), SIZE);
            EXPECT_GE(number, last - 1) << "kept although older than the newest two";
            ++kept;
        }
    }
    EXPECT_EQ(kept, 2u);
}

}  // namespace
