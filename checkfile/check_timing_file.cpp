#include "checkfile/check_timing_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/console.h"
#include "base/report.h"
#include "checkfile/check_status.h"
#include "checkfile/timing_file_framing.h"

namespace {

struct ErrorKindText {
    FrameResult kind;
    const char* text;
};

const ErrorKindText ERROR_KIND_TEXTS[] = {
    {FrameResult::BadLength, "length byte above 12"},
    {FrameResult::NoNextSync, "record not followed by a sync word"},
};

const char* TextOf(FrameResult kind) {
    for (const ErrorKindText& entry : ERROR_KIND_TEXTS) {
        if (entry.kind == kind) {
            return entry.text;
        }
    }
    return "framing error";
}

// Decimal for scripts, hexadecimal for hex editors: "1234 (0x4D2)".
std::string Offset(uint64_t offset) {
    return std::to_string(offset) + " (0x" + HexDigits(offset) + ")";
}

// Each error as it is found: the file is never held, whatever its size.
class ErrorLines : public FramingErrorListener {
public:
    explicit ErrorLines(const std::string& name) : name_(name) {}
    void OnFramingError(const FramingError& error) override {
        ConsolePrintf("%s: offset %s: %s\n", name_.c_str(), Offset(error.offset).c_str(),
                      TextOf(error.kind));
    }

private:
    const std::string& name_;
};

// The most bytes that a record cut by the driver's circular log leaves ahead of the
// first whole one: a record of 26 bytes less its first byte.
constexpr uint64_t MOST_SKIPPED_AT_START = TIMING_HEADER_SIZE + TIMING_MAX_PAYLOAD - 1;

// A file that is not a timing log at all (a text log, an archive, a picture) has no
// framing error, yet is no clean timing log: said in one line, and not clean.
bool SaysItIsNoTimingLog(const std::string& name, const TimingFileSummary& summary) {
    if (summary.size > 0 && summary.records == 0) {
        ConsolePrintf("%s: no timing record found\n", name.c_str());
        return true;
    }
    if (summary.skippedAtStart > MOST_SKIPPED_AT_START) {
        ConsolePrintf("%s: %s bytes before the first record, more than a cut record leaves (%s)\n",
                      name.c_str(), std::to_string(summary.skippedAtStart).c_str(),
                      std::to_string(MOST_SKIPPED_AT_START).c_str());
        return true;
    }
    return false;
}

void PrintEnd(const std::string& name, const TimingFileSummary& summary) {
    if (summary.incompleteSize > 0) {
        ConsolePrintf("%s: offset %s: record cut off by the end of the file, %u bytes\n",
                      name.c_str(), Offset(summary.incompleteOffset).c_str(),
                      summary.incompleteSize);
    }
    ConsolePrintf(
        "summary size=%s records=%s skipped_at_start=%s errors=%s bad_length=%s "
        "no_next_sync=%s incomplete_at_end=%u file=%s\n",
        std::to_string(summary.size).c_str(), std::to_string(summary.records).c_str(),
        std::to_string(summary.skippedAtStart).c_str(), std::to_string(summary.Errors()).c_str(),
        std::to_string(summary.badLength).c_str(), std::to_string(summary.noNextSync).c_str(),
        summary.incompleteSize, name.c_str());
}

}  // namespace

int CheckTimingFile(const char* name, uint8_t* buffer, size_t capacity) {
    const std::string shown = Printable(name);
    std::FILE* file = std::fopen(name, "rb");
    if (file == nullptr) {
        ReportFailure("cannot open %s: %s", shown.c_str(), std::strerror(errno));
        return CHECK_STATUS_NOT_CHECKED;
    }
    // Unbuffered: each read goes straight into the caller's buffer.
    std::setvbuf(file, nullptr, _IONBF, 0);
    ErrorLines errorLines(shown);
    TimingFileFraming framing(errorLines);
    int readError = 0;
    for (;;) {
        errno = 0;
        const size_t got = std::fread(buffer, 1, capacity, file);
        if (got < capacity && std::ferror(file) != 0) {
            readError = errno != 0 ? errno : EIO;
            break;
        }
        framing.Feed(buffer, got);
        if (got < capacity || ConsoleFailed() != 0) {
            break;
        }
    }
    std::fclose(file);
    if (readError != 0) {
        ReportFailure("cannot read %s: %s", shown.c_str(), std::strerror(readError));
        return CHECK_STATUS_NOT_CHECKED;
    }
    framing.Finish();
    const TimingFileSummary& summary = framing.Summary();
    const bool notTiming = SaysItIsNoTimingLog(shown, summary);
    PrintEnd(shown, summary);
    if (ConsoleFailed() != 0) {
        return CHECK_STATUS_NOT_CHECKED;
    }
    return summary.Errors() > 0 || notTiming ? CHECK_STATUS_FRAMING_ERRORS : CHECK_STATUS_CLEAN;
}
