// A log written in pieces of at most a given size: A.LOG becomes A-00001.LOG,
// A-00002.LOG, ..., numbered on after the highest piece of the name already in the folder
// (from 1 when there is none), never reused and never emptied, and when a count is given
// only that many are kept, those of earlier runs included, the oldest (lowest number)
// deleted when a new one starts. One that cannot be deleted yet is tried again at each
// sync until it is gone. A piece ends only where
// the log allows it to: the text log after a line feed, the timing log where a record
// ends as the checker frames it, so that every piece of a clean timing log is a clean
// timing log of its own. A text line too long to wait for its line feed goes on into
// the current piece when what came of it fits there, else into a piece of its own; either
// may then grow past the size. The bytes after the last such place wait in memory until
// the next one comes (or the capture ends): a line or record on disk is always whole.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "adapter/vekdiag_protocol.h"
#include "logs/log_file.h"

struct PieceOptions;

// Where a block of the timing log may be cut: the offsets in the block, ascending, just
// after each record that ends in it.
struct BlockCuts {
    uint16_t offsets[LOG_BLOCK_SIZE];
    uint32_t count = 0;
};

// NAME with the piece's number before its extension: "A.LOG", 7 gives "A-00007.LOG".
std::string PieceName(const std::string& name, uint64_t number);
// Where NAME's extension starts (a dot after its last folder separator and not first in
// the last component), or its length when it has none.
size_t ExtensionStart(const std::string& name);

class PieceRing {
public:
    PieceRing(const char* name, bool binary, const PieceOptions& options);
    ~PieceRing();
    PieceRing(const PieceRing&) = delete;
    PieceRing& operator=(const PieceRing&) = delete;

    // Creates the first piece, numbered on after the pieces of the name already there, and
    // deletes the oldest of them beyond the count kept; zero, said, when it cannot be.
    int Start();
    // The next block of the log: for the timing log with the places where it may be cut;
    // the text log is cut after its line feeds. Zero once the ring has failed.
    int Write(const uint8_t* block, uint32_t size, const BlockCuts* cuts);
    // The log breaks off here (its adapter left): what waits is written, and a piece may
    // end here.
    int EndUnit();
    // The log breaks off for good (its adapter left): what waits is written and the piece
    // ends; the next byte goes into a new piece, made only when a byte comes. A piece with
    // nothing in it yet stays for the next byte.
    int EndPiece();
    int Flush();
    // Writes through to the disk the current piece and those finished since the last
    // time, and closes the latter; tries again to delete the old pieces that could not be.
    int Sync();
    int Close();

    uint64_t Piece() const { return number_; }

private:
    int Place(uint64_t diskBytes);
    int NextPiece();
    int Retire();
    bool DeleteOldPiece(uint64_t number);
    int WriteWaiting();
    void TextCuts(const uint8_t* block, uint32_t size);
    int Fail();

    const std::string name_;
    const bool binary_;
    const uint64_t pieceSize_;
    const uint32_t keep_;
    uint64_t number_ = 0;
    uint64_t pieceBytes_ = 0;           // on disk, in the current piece
    std::unique_ptr<LogFile> current_;  // null after EndPiece until data comes
    // With a count kept: the pieces on disk, this run's and earlier runs', oldest first;
    // and the old ones that could not be deleted yet.
    std::vector<uint64_t> kept_;
    std::vector<uint64_t> undeleted_;
    // Finished pieces not yet written through to the disk, oldest first.
    std::vector<std::pair<uint64_t, std::unique_ptr<LogFile>>> retired_;
    std::vector<uint8_t> waiting_;  // bytes after the last place a piece may end
    bool longLine_ = false;         // writing a line too long to wait, straight on
    bool failed_ = false;
    bool deleteFailureSaid_ = false;
    BlockCuts textCuts_;
};
