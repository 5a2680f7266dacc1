#include "logs/log_selection.h"

#include <cstring>

#include "base/ascii.h"
#include "base/exit_status.h"
#include "base/report.h"
#include "cli/command_line.h"
#include "cli/texts.h"
#include "platform/log_files.h"

int ParseLogSelection(const CommandLine& commandLine, LogSelection* selection) {
    selection->textLogName = nullptr;
    selection->timingLogName = nullptr;
    selection->logType = LogType::Text;
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
        selection->logType = LogType::Timing;
        selection->timingLogName = commandLine.GetPositional(2);
        return n == 3 ? 1 : 0;
    }
    if (EqualsIgnoreCase(word, "both")) {
        selection->logType = LogType::Both;
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

int NamesOneFileTwice(const LogSelection& selection) {
    if (selection.textLogName == nullptr || selection.timingLogName == nullptr) {
        return 0;
    }
    if (std::strcmp(selection.textLogName, selection.timingLogName) == 0) {
        return 1;
    }
    return NameTheSameFile(selection.textLogName, selection.timingLogName);
}

int CheckLogSelection(const CommandLine& commandLine, LogSelection* selection) {
    if (ParseLogSelection(commandLine, selection) == 0) {
        PrintUsage();
        return EXIT_STATUS_USAGE;
    }
    if (NamesOneFileTwice(*selection) != 0) {
        ReportFailure("the text log and the timing log cannot both go to %s",
                      Printable(selection->timingLogName).c_str());
        return EXIT_STATUS_USAGE;
    }
    return EXIT_STATUS_OK;
}
