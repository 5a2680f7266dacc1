// Which logs a dump or capture reads and where each goes, from the positional
// arguments [<logtype>] [<textlog>] [<timinglog>].
#pragma once

#include <cstdint>

class CommandLine;

enum class LogType : uint32_t {
    Text = 0,
    Timing = 1,
    Both = 2,
};

struct LogSelection {
    LogType logType = LogType::Text;
    const char* textLogName = nullptr;    // null: standard output
    const char* timingLogName = nullptr;  // never null when the timing log is selected
};

// Non-zero when the arguments form a valid selection. Prints nothing.
int ParseLogSelection(const CommandLine& commandLine, LogSelection* selection);

// Non-zero when both logs go to files and the two names lead to the same file, which
// would interleave text and timing bytes in it.
int NamesOneFileTwice(const LogSelection& selection);

// The selection of a dump or capture: on an invalid one prints the usage text, on one
// that names one file twice says so, and returns the usage status; otherwise
// EXIT_STATUS_OK.
int CheckLogSelection(const CommandLine& commandLine, LogSelection* selection);

inline bool WantsTextLog(const LogSelection& selection) {
    return selection.logType != LogType::Timing;
}
inline bool WantsTimingLog(const LogSelection& selection) {
    return selection.logType != LogType::Text;
}
