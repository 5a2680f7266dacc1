// Where the blocks of one log go: standard output or a text-mode file for the text log,
// a binary file (a byte-for-byte copy of the stream) for the timing log. The first
// failure of a sink is reported once, with its reason; the sink takes nothing after it,
// so that what the driver still holds stays there.
#pragma once

#include <cstdint>
#include <cstdio>

class LogSink {
public:
    LogSink() = default;
    // A file still open here was abandoned by a failure elsewhere: closed, not reported.
    ~LogSink();
    LogSink(const LogSink&) = delete;
    LogSink& operator=(const LogSink&) = delete;

    // A stream that the caller opened and will close; standard output when it is stdout.
    void Attach(FILE* stream, const char* name);

    // Non-zero when every byte reached the stream (for standard output: was taken by it).
    int Write(const void* block, uint32_t size);
    // Pushes what is buffered to the file or console; non-zero when that worked.
    int Flush();
    // Closes a file of this sink's own; non-zero when everything written reached it.
    // Standard output is never closed.
    int Close();

    bool IsOpen() const { return console_ || file_ != nullptr; }
    // Open and not failed: worth reading a log for.
    bool Usable() const { return IsOpen() && !failed_; }

private:
    friend int OpenLogFile(LogSink* sink, const char* name, bool binary);
    int Fail(int error);

    FILE* file_ = nullptr;
    const char* name_ = nullptr;
    bool console_ = false;
    bool owned_ = false;
    bool failed_ = false;
};

// Standard output when name is null, else the file created or truncated in text mode.
// Zero, reported, when the file cannot be created.
int OpenTextLogSink(const char* name, LogSink* sink);
// The file created or truncated in binary mode; zero, reported, when it cannot be.
int OpenTimingLogSink(const char* name, LogSink* sink);
