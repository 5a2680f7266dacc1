// Where the blocks of one log go: standard output or a text-mode file for the text log,
// a binary file (a byte-for-byte copy of the stream) for the timing log, and for a
// capture either file in pieces of bounded size. The first failure of a sink is reported
// once, with its reason; the sink takes nothing after it, so that what the driver still
// holds stays there.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

#include "logs/log_file.h"
#include "logs/piece_ring.h"

class TextWatch;
struct PieceOptions;

class LogSink {
public:
    LogSink() = default;
    ~LogSink();
    LogSink(const LogSink&) = delete;
    LogSink& operator=(const LogSink&) = delete;

    // A stream that the caller opened and will close; standard output when it is stdout.
    void Attach(FILE* stream, const char* name);
    // Every block written from now on is also looked through for a text.
    void Watch(TextWatch* watch) { watch_ = watch; }

    // Non-zero when every byte reached the stream (for standard output: was taken by it).
    // cuts: where a timing block may be cut between pieces (see WantsCuts).
    int Write(const void* block, uint32_t size, const BlockCuts* cuts = nullptr);
    // Pushes what is buffered to the file or console; non-zero when that worked.
    int Flush();
    // Writes a file through to the disk, past the system's cache.
    int Sync();
    // The log breaks off here: a piece may end, and what waits for a cut is written.
    int EndUnit();
    // The log breaks off for good (its adapter left): as EndUnit, and a log in pieces
    // writes its next byte, when one comes, into a new piece.
    int EndPiece();
    // Closes a file of this sink's own; non-zero when everything written reached it.
    // Standard output is never closed.
    int Close();

    bool IsOpen() const { return console_ || file_.IsOpen() || ring_ != nullptr; }
    // Open and not failed: worth reading a log for.
    bool Usable() const { return IsOpen() && !failed_; }
    // Whether Write wants to be told where a timing block may be cut.
    bool WantsCuts() const { return ring_ != nullptr; }
    // Bytes taken so far, and the number of the piece being written (0: no pieces).
    uint64_t BytesWritten() const { return bytes_; }
    uint64_t Piece() const { return ring_ != nullptr ? ring_->Piece() : 0; }

private:
    friend int OpenLogFile(LogSink* sink, const char* name, bool binary,
                           const PieceOptions& pieces);
    int Check(int succeeded);

    LogFile file_;
    std::unique_ptr<PieceRing> ring_;
    TextWatch* watch_ = nullptr;
    uint64_t bytes_ = 0;
    bool console_ = false;
    bool failed_ = false;
};

// Standard output when name is null, else the file created or truncated in text mode
// (in pieces when pieces.size is not 0). Zero, reported, when the file cannot be created.
int OpenTextLogSink(const char* name, LogSink* sink, const PieceOptions& pieces);
int OpenTextLogSink(const char* name, LogSink* sink);
// The file created or truncated in binary mode (in pieces when pieces.size is not 0);
// zero, reported, when it cannot be.
int OpenTimingLogSink(const char* name, LogSink* sink, const PieceOptions& pieces);
int OpenTimingLogSink(const char* name, LogSink* sink);
