#include "logs/log_selection.h"

#include "cli/ascii.h"
#include "cli/command_line.h"

int ParseLogSelection(const CommandLine& commandLine, LogSelection* selection) {
    selection->textLogName = nullptr;
    selection->timingLogName = nullptr;
    selection->logType = Text;
    const uint32_t n = commandLine.positionalCount;
    if (n <= 1) {
        return 1;
    }
    const char* word = commandLine.GetPositional(1);
    if (EqualsIgnoreCase(word, "text")) {
        // With more than one further argument the names are ignored.
        if (n == 3) {
            selection->textLogName = commandLine.GetPositional(2);
        }
        return 1;
    }
    if (EqualsIgnoreCase(word, "timing")) {
        selection->logType = Timing;
        selection->timingLogName = commandLine.GetPositional(2);
        return n == 3 ? 1 : 0;
    }
    if (EqualsIgnoreCase(word, "both")) {
        selection->logType = Both;
        if (n == 3) {
            selection->timingLogName = commandLine.GetPositional(2);
            return 1;
        }
        if (n == 4) {
            selection->textLogName = commandLine.GetPositional(2);
            selection->timingLogName = commandLine.GetPositional(3);
            return 1;
        }
        return 0;
    }
    if (n == 2) {
        selection->textLogName = word;
        return 1;
    }
    return 0;
}
