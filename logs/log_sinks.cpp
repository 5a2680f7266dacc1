#include "logs/log_sinks.h"

#include <cerrno>
#include <cstring>

#include "cli/console.h"
#include "cli/report.h"
#include "platform/log_files.h"

namespace {

int ErrorOr(int error) {
    return error != 0 ? error : EIO;
}

}  // namespace

int OpenLogFile(LogSink* sink, const char* name, bool binary) {
    errno = 0;
    bool inUse = false;
    FILE* file = CreateLogFile(name, binary, &inUse);
    if (file == nullptr) {
        ReportFailure("cannot create %s: %s", Printable(name).c_str(),
                      inUse ? "in use by another program" : std::strerror(ErrorOr(errno)));
        return 0;
    }
    sink->file_ = file;
    sink->name_ = name;
    sink->owned_ = true;
    return 1;
}

int OpenTextLogSink(const char* name, LogSink* sink) {
    if (name == nullptr) {
        sink->Attach(stdout, nullptr);
        return 1;
    }
    return OpenLogFile(sink, name, false);
}

int OpenTimingLogSink(const char* name, LogSink* sink) {
    return OpenLogFile(sink, name, true);
}

LogSink::~LogSink() {
    if (owned_ && file_ != nullptr) {
        std::fclose(file_);
    }
}

void LogSink::Attach(FILE* stream, const char* name) {
    console_ = stream == stdout;
    file_ = console_ ? nullptr : stream;
    name_ = name;
    owned_ = false;
}

int LogSink::Fail(int error) {
    if (!failed_) {
        failed_ = true;
        ReportFailure("cannot write %s: %s", Printable(name_).c_str(),
                      std::strerror(ErrorOr(error)));
    }
    return 0;
}

int LogSink::Write(const void* block, uint32_t size) {
    if (failed_) {
        return 0;
    }
    if (console_) {
        failed_ = ConsoleWrite(block, size) == 0;  // the console says so itself
        return failed_ ? 0 : 1;
    }
    errno = 0;
    if (std::fwrite(block, 1, size, file_) != size || std::ferror(file_) != 0) {
        return Fail(errno);
    }
    return 1;
}

int LogSink::Flush() {
    if (failed_) {
        return 0;
    }
    if (console_) {
        failed_ = ConsoleFlush() == 0;
        return failed_ ? 0 : 1;
    }
    errno = 0;
    if (std::fflush(file_) != 0 || std::ferror(file_) != 0) {
        return Fail(errno);
    }
    return 1;
}

int LogSink::Close() {
    if (!owned_) {
        return IsOpen() ? Flush() : 0;
    }
    if (file_ == nullptr) {
        return 0;
    }
    int flushed = Flush();
    errno = 0;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!closed && flushed != 0) {
        flushed = Fail(errno);  // what the close itself could not write
    }
    return failed_ ? 0 : flushed;
}
