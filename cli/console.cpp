#include "cli/console.h"

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

std::atomic<bool> failed{false};

// The reason of the first failure, then nothing more: one failure is one line.
int Fail(int error) {
    if (!failed.exchange(true)) {
        ReportFailure("cannot write standard output: %s", std::strerror(error != 0 ? error : EIO));
    }
    return 0;
}

// A stream error that a write or flush left behind without failing itself.
int Check(bool succeeded) {
    if (failed.load()) {
        return 0;
    }
    if (!succeeded || std::ferror(stdout) != 0) {
        return Fail(errno);
    }
    return 1;
}

}  // namespace

int ConsolePrintf(const char* format, ...) {
    if (failed.load()) {
        return 0;
    }
    errno = 0;
    va_list arguments;
    va_start(arguments, format);
    const int written = std::vfprintf(stdout, format, arguments);  // NOLINT
    va_end(arguments);
    return Check(written >= 0);
}

int ConsoleWrite(const void* data, size_t size) {
    if (failed.load()) {
        return 0;
    }
    errno = 0;
    return Check(std::fwrite(data, 1, size, stdout) == size);
}

int ConsoleFlush() {
    if (failed.load()) {
        return 0;
    }
    errno = 0;
    return Check(std::fflush(stdout) == 0);
}

int ConsoleFailed() {
    return failed.load() ? 1 : 0;
}
