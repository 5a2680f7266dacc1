// The switches of a capture left running unattended: pieces of bounded size, how many
// are kept, when it ends by itself, which adapter it reads and whether it follows that
// adapter when it leaves and returns.
#pragma once

#include <cstdint>

#include "adapter/adapter_choice.h"

class CommandLine;
struct LogSelection;

// The smallest piece -s takes: a piece holds at least a few thousand lines or records.
inline constexpr uint64_t MIN_PIECE_SIZE = uint64_t{64} << 10;

// How a log file is written: one file, or pieces of at most size bytes, of which the
// newest keep are kept (0: all).
struct PieceOptions {
    uint64_t size = 0;  // 0: one file
    uint32_t keep = 0;
};

struct CaptureOptions {
    bool keepOlderEvents = false;    // -d
    PieceOptions pieces;             // -s, -k
    uint64_t durationMs = 0;         // -t; 0: until stopped
    const char* waitText = nullptr;  // -w: upper case, as every argument
    AdapterChoice adapter;           // -a
    bool follow = false;             // -f

    // Ended by itself (-t, -w): it may run where nobody can press ENTER, so the end of
    // standard input is no stop, and a capture that cannot go on ends at once.
    bool Unattended() const { return durationMs != 0 || waitText != nullptr; }
};

// Reads the capture's switches for the given selection. EXIT_STATUS_OK, or
// EXIT_STATUS_USAGE with what is wrong said in one line.
int ParseCaptureOptions(const CommandLine& commandLine, const LogSelection& selection,
                        CaptureOptions* options);

// A size: a whole number of bytes, or of KiB, MiB or GiB with K, M or G after it.
bool ParseSize(const char* text, uint64_t* bytes);
// A duration: a whole number of seconds, or of seconds, minutes, hours or days with S,
// M, H or D after it. Never 0.
bool ParseDuration(const char* text, uint64_t* milliseconds);
