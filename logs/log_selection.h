// Which logs a dump or capture reads and where each goes, from the positional
// arguments [<logtype>] [<textlog>] [<timinglog>].
#pragma once

#include <cstdint>

class CommandLine;

enum LogType : uint32_t {
    Text = 0,
    Timing = 1,
    Both = 2,
};

struct LogSelection {
    LogType logType = Text;
    const char* textLogName = nullptr;    // null: standard output
    const char* timingLogName = nullptr;  // never null when the timing log is selected
};

// Non-zero when the arguments form a valid selection. Prints nothing.
int ParseLogSelection(const CommandLine& commandLine, LogSelection* selection);

inline bool WantsTextLog(const LogSelection& selection) {
    return selection.logType != Timing;
}
inline bool WantsTimingLog(const LogSelection& selection) {
    return selection.logType != Text;
}
