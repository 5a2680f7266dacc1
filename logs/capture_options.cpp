#include "logs/capture_options.h"

#include "base/decimal.h"
#include "base/exit_status.h"
#include "base/report.h"
#include "cli/command_line.h"
#include "cli/switch_values.h"
#include "logs/log_selection.h"

namespace {

const DecimalUnit SIZE_UNITS[] = {
    {'\0', 1}, {'K', uint64_t{1} << 10}, {'M', uint64_t{1} << 20}, {'G', uint64_t{1} << 30}};
constexpr uint64_t SECOND_MS = 1000;
const DecimalUnit DURATION_UNITS[] = {{'\0', SECOND_MS},
                                      {'S', SECOND_MS},
                                      {'M', 60 * SECOND_MS},
                                      {'H', 3600 * SECOND_MS},
                                      {'D', 86400 * SECOND_MS}};

// Large enough for any capture, small enough that no sum of them overflows.
constexpr uint64_t MOST = uint64_t{1} << 60;
constexpr uint32_t MOST_PIECES_KEPT = 1000000;

// Says what is wrong with a switch's value; format holds one %s, for the value.
int Usage(const char* format, const char* value) {
    ReportFailure(format, value != nullptr ? Printable(value).c_str() : "none");  // NOLINT
    return EXIT_STATUS_USAGE;
}

// Whether any selected log goes to a file: pieces are made of files only.
bool WritesAFile(const LogSelection& selection) {
    return WantsTimingLog(selection) || selection.textLogName != nullptr;
}

int ParsePieces(const CommandLine& commandLine, const LogSelection& selection,
                PieceOptions* pieces) {
    const char* size = nullptr;
    const char* keep = nullptr;
    const bool sized = commandLine.FindSwitch('s', &size) != 0;
    const bool kept = commandLine.FindSwitch('k', &keep) != 0;
    if ((sized || kept) && !WritesAFile(selection)) {
        ReportFailure(
            "-%c is for a log written in pieces, and this capture writes no file (its text log "
            "goes to the console)",
            sized ? 's' : 'k');
        return EXIT_STATUS_USAGE;
    }
    if (sized && (!ParseSize(size, &pieces->size) || pieces->size < MIN_PIECE_SIZE)) {
        return Usage(
            "invalid piece size for -s: %s (at least 64K; bytes, or K, M or G after "
            "the number, as 64K, 500M or 2G)",
            size);
    }
    if (kept && !sized) {
        ReportFailure("-k keeps pieces: it needs -s, which writes the logs in pieces");
        return EXIT_STATUS_USAGE;
    }
    uint64_t count = 0;
    if (kept && (ParseDecimal(keep, PLAIN_NUMBER, MOST_PIECES_KEPT, &count) == 0 || count == 0)) {
        return Usage("invalid piece count for -k: %s (a whole number from 1 to 1000000)", keep);
    }
    pieces->keep = static_cast<uint32_t>(count);
    return EXIT_STATUS_OK;
}

int ParseEnd(const CommandLine& commandLine, const LogSelection& selection,
             CaptureOptions* options) {
    const char* duration = nullptr;
    if (commandLine.FindSwitch('t', &duration) != 0 &&
        !ParseDuration(duration, &options->durationMs)) {
        return Usage(
            "invalid duration for -t: %s (a whole number of seconds, or S, M, H or D "
            "after the number, as 90, 30M, 12H or 14D)",
            duration);
    }
    if (commandLine.FindSwitch('w', &options->waitText) != 0) {
        if (options->waitText == nullptr || *options->waitText == '\0') {
            ReportFailure("-w needs the text to wait for, as -w:FAULT");
            return EXIT_STATUS_USAGE;
        }
        if (!WantsTextLog(selection)) {
            return Usage(
                "-w:%s waits for a line of the text log, which this capture does not "
                "read",
                options->waitText);
        }
    }
    return EXIT_STATUS_OK;
}

}  // namespace

bool ParseSize(const char* text, uint64_t* bytes) {
    return ParseDecimal(text, SIZE_UNITS, MOST, bytes) != 0;
}

bool ParseDuration(const char* text, uint64_t* milliseconds) {
    return ParseDecimal(text, DURATION_UNITS, MOST, milliseconds) != 0 && *milliseconds > 0;
}

int ParseCaptureOptions(const CommandLine& commandLine, const LogSelection& selection,
                        CaptureOptions* options) {
    options->keepOlderEvents = commandLine.FindSwitch('d') != 0;
    const char* followValue = nullptr;
    options->follow = commandLine.FindSwitch('f', &followValue) != 0;
    if (followValue != nullptr) {
        return Usage("-f takes no value (-f:%s given)", followValue);
    }
    int status = ParsePieces(commandLine, selection, &options->pieces);
    if (status == EXIT_STATUS_OK) {
        status = ParseEnd(commandLine, selection, options);
    }
    if (status == EXIT_STATUS_OK) {
        status =
            ParseAdapterSwitch(commandLine, &options->adapter.byIndex, &options->adapter.index);
    }
    return status;
}
