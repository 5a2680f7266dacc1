// A log written in pieces, on Linux and under Wine: where pieces may end when the log
// gives no ordinary place for it (a text line longer than a piece, a timing log with no
// record in it), and what its pieces hold, as the disk has them (CR LF on Windows); the
// pieces of earlier runs, kept and counted; the events file beside them; and the text
// that ends a capture, looked for in the log as it passes.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "logs/capture_options.h"
#include "logs/event_log.h"
#include "logs/piece_ring.h"
#include "logs/text_watch.h"
#include "platform/log_files.h"

#ifndef _WIN32
#include <sys/syscall.h>
#include <unistd.h>

// The names of the files written through to the disk: the Linux platform's fdatasync is
// this one, in this program.
std::vector<std::string> syncedFiles;

extern "C" int fdatasync(int fd) {
    std::error_code error;
    const auto file = std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd), error);
    syncedFiles.push_back(file.filename().string());
    return static_cast<int>(syscall(SYS_fdatasync, fd));
}
#endif

namespace {

namespace fs = std::filesystem;

class PieceRingTest : public testing::Test {
protected:
    void SetUp() override {
        folder_ = (fs::path(QUORVIN_TEST_FILES) /
                   testing::UnitTest::GetInstance()->current_test_info()->name())
                      .make_preferred();
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }

    std::string Name() const { return (folder_ / "LOG.TXT").string(); }

    static std::string Read(const std::string& name) {
        std::ifstream in(name, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        return bytes.str();
    }
    static void Put(const std::string& name, const std::string& bytes) {
        std::ofstream(name, std::ios::binary) << bytes;
    }
    static void Put(PieceRing& ring, const std::string& text) {
        ASSERT_EQ(ring.Write(reinterpret_cast<const uint8_t*>(text.data()),
                             static_cast<uint32_t>(text.size()), nullptr),
                  1);
    }

    // Every piece's bytes as the disk has them, in order of number.
    std::vector<std::string> Pieces(size_t count) const {
        std::vector<std::string> pieces;
        for (size_t number = 1; number <= count; ++number) {
            pieces.push_back(Read(PieceName(Name(), number)));
        }
        return pieces;
    }
    // The numbers of the pieces on disk, up to the highest given.
    std::vector<uint64_t> Existing(uint64_t highest) const {
        std::vector<uint64_t> numbers;
        for (uint64_t number = 1; number <= highest; ++number) {
            if (fs::exists(PieceName(Name(), number))) {
                numbers.push_back(number);
            }
        }
        return numbers;
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
// its own. Lines that fill a piece exactly stay in it. A line too long to wait for its
// line feed stays in the current piece while what came of it fits there: the last one,
// still without its line feed at the end.
TEST_F(PieceRingTest, TextPiecesEndAfterALineFeedAndAreNoLargerThanAllowed) {
    constexpr uint64_t SIZE = 64 << 10;
    const size_t filling = SIZE - 63005 - size_t{3} * (TEXT_LINE_FEED_BYTES - 1);
    std::string text;
    for (size_t length : {size_t{10}, size_t{30000}, size_t{40000}, size_t{100000}, size_t{63000},
                          size_t{5}, filling, size_t{64000}, size_t{70000}, size_t{1}}) {
        text.append(length - 1, 'x').push_back('\n');
    }
    const std::string unended(62000, 'y');
    text += unended;
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
    EXPECT_EQ(pieces[3].size(), SIZE);
    EXPECT_TRUE(pieces.back() == OnDisk("\n" + unended));
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

// A capture restarted on the same name numbers on after the highest piece there, in
// whatever letter case the platform's names ignore, and leaves every file as it was. A
// departure (EndPiece) writes what waits and gives the next data a new piece; none is
// made while no data comes, and a piece with nothing in it yet takes the next data.
TEST_F(PieceRingTest, ARestartNumbersOnAfterThePiecesThereAndLeavesThem) {
    const std::vector<std::pair<std::string, std::string>> others = {
        {EventsFileName(Name()), "events\n"},
        {(folder_ / "LOG-0009.TXT").string(), "four digits are no piece\n"},
        {(folder_ / "log-00004.txt").string(), "a piece where case is ignored\n"}};
    for (const auto& [name, bytes] : others) {
        Put(name, bytes);
    }
    // Where letter case is ignored, log-00004.txt is a piece of LOG.TXT.
    const uint64_t before = FILE_NAMES_IGNORE_CASE ? 4 : 0;
    const std::vector<std::vector<std::string>> runs = {{"", "one\nb", "", "two\n"}, {"three\n"}};
    for (const std::vector<std::string>& run : runs) {
        PieceRing ring(Name().c_str(), false, PieceOptions{MIN_PIECE_SIZE, 0});
        ASSERT_EQ(ring.Start(), 1);
        for (const std::string& text : run) {
            Put(ring, text);
            ASSERT_EQ(ring.EndPiece(), 1);
        }
        ASSERT_EQ(ring.Close(), 1);
    }
    EXPECT_EQ(Read(PieceName(Name(), before + 1)), OnDisk("one\nb"));
    EXPECT_EQ(Read(PieceName(Name(), before + 2)), OnDisk("two\n"));
    EXPECT_EQ(Read(PieceName(Name(), before + 3)), OnDisk("three\n"));
    EXPECT_FALSE(fs::exists(PieceName(Name(), before + 4)));
    for (const auto& [name, bytes] : others) {
        EXPECT_EQ(Read(name), bytes) << name;
    }
}

// The count kept is the newest COUNT pieces, the one being written and those of earlier
// runs included: at the start the oldest beyond it are deleted, the events file never.
// One that someone removed already is gone as it should be: nothing is said.
TEST_F(PieceRingTest, TheCountKeptTakesInThePiecesOfEarlierRuns) {
    for (uint64_t number = 1; number <= 5; ++number) {
        Put(PieceName(Name(), number), "old\n");
    }
    Put(EventsFileName(Name()), "events\n");
    PieceRing ring(Name().c_str(), false, PieceOptions{MIN_PIECE_SIZE, 3});
    ASSERT_EQ(ring.Start(), 1);
    EXPECT_EQ(Existing(6), (std::vector<uint64_t>{4, 5, 6}));
    Put(ring, "new\n");
    ASSERT_EQ(ring.EndPiece(), 1);
    fs::remove(PieceName(Name(), 4));
    testing::internal::CaptureStderr();
    Put(ring, "newer\n");
    ASSERT_EQ(ring.Close(), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(Existing(8), (std::vector<uint64_t>{5, 6, 7}));
    EXPECT_EQ(Read(EventsFileName(Name())), "events\n");
}

// A finished piece is written through to the disk at the next sync, and closed. An old
// piece that cannot be deleted (here a folder has taken its name, as a program may hold a
// file a moment) is tried again at each sync until it is gone; said once.
TEST_F(PieceRingTest, APieceThatCannotBeDeletedYetIsDeletedAtALaterSync) {
    const std::string oldest = PieceName(Name(), 1);
    PieceRing ring(Name().c_str(), false, PieceOptions{MIN_PIECE_SIZE, 1});
    ASSERT_EQ(ring.Start(), 1);
    Put(ring, "a\n");
    ASSERT_EQ(ring.EndPiece(), 1);
#ifndef _WIN32
    syncedFiles.clear();
#endif
    ASSERT_EQ(ring.Sync(), 1);
#ifndef _WIN32
    EXPECT_EQ(syncedFiles, std::vector<std::string>{"LOG-00001.TXT"});
#endif
    fs::remove(oldest);
    fs::create_directories(fs::path(oldest) / "inside");
    testing::internal::CaptureStderr();
    Put(ring, "b\n");
    ASSERT_EQ(ring.Sync(), 1);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(said.rfind("cannot delete " + oldest + ": ", 0), 0u) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    fs::remove_all(oldest);
    Put(oldest, "held no more");
    testing::internal::CaptureStderr();
    ASSERT_EQ(ring.Sync(), 1);
    ASSERT_EQ(ring.Close(), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(Existing(2), (std::vector<uint64_t>{2}));
}

// The events file: named after the first log's stem, appended to across opens, each line
// dated, and held against a second writer as a log file is.
TEST_F(PieceRingTest, TheEventsFileAppendsDatedLinesAcrossOpens) {
    EXPECT_EQ(EventsFileName("A.LOG"), "A-EVENTS.TXT");
    EXPECT_EQ(EventsFileName("T.BIN"), "T-EVENTS.TXT");
    EXPECT_EQ(EventsFileName("T"), "T-EVENTS.TXT");
    EXPECT_EQ(EventsFileName("DIR/X.Y.LOG"), "DIR/X.Y-EVENTS.TXT");
    const std::string name = EventsFileName(Name());
    for (const char* text : {"capture started", "the adapter left"}) {
        EventLog events;
        ASSERT_EQ(events.Open(name), 1);
        EventLog second;
        testing::internal::CaptureStderr();
        EXPECT_EQ(second.Open(name), 0);
        second.Line("never written");
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "cannot open " + name + ": in use by another program\n");
        events.Line(text);
        events.Sync();
        events.Close();
    }
    const std::string date = "\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}";
    const std::string end = TEXT_LINE_FEED_BYTES == 2 ? "\r\n" : "\n";
    EXPECT_TRUE(std::regex_match(
        Read(name), std::regex(date + " capture started" + end + date + " the adapter left" + end)))
        << Read(name);
}

// The text that ends a capture (-w) is found within a line, whatever its letter case,
// also where a partial match of it runs on into the match itself.
TEST(TextWatch, FindsTheTextWithinALineAfterAPartialMatch) {
    const auto seen = [](const char* text, const std::string& log) {
        TextWatch watch(text);
        return watch.Feed(reinterpret_cast<const uint8_t*>(log.data()),
                          static_cast<uint32_t>(log.size()));
    };
    EXPECT_TRUE(seen("AAB", "xAAAB"));
    EXPECT_TRUE(seen("ABAC", "ABABAC"));
    EXPECT_TRUE(seen("FAULT", "a Fault"));
    EXPECT_FALSE(seen("AAB", "xAA\nB"));
}

}  // namespace
