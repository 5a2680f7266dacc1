#include "logs/log_sinks.h"

#include <cerrno>
#include <cstring>

#include "cli/report.h"

namespace {

FILE* OpenFile(const char* name, const char* mode) {
    FILE* file = std::fopen(name, mode);
    if (file == nullptr) {
        ReportFailure("cannot create %s: %s", name, std::strerror(errno));
    }
    return file;
}

}  // namespace

FILE* OpenTextLogSink(const char* name) {
    return name == nullptr ? stdout : OpenFile(name, "w");
}

FILE* OpenTimingLogSink(const char* name) {
    return OpenFile(name, "wb");
}

int CloseLogSink(FILE* sink, const char* name) {
    const bool failedBefore = std::ferror(sink) != 0;
    errno = 0;
    const bool closed = std::fclose(sink) == 0;
    if (failedBefore || !closed) {
        ReportFailure("cannot write %s: %s", name, std::strerror(errno != 0 ? errno : EIO));
        return 0;
    }
    return 1;
}

int FlushLogSink(FILE* sink, const char* name) {
    if (std::fflush(sink) == 0 && std::ferror(sink) == 0) {
        return 1;
    }
    ReportFailure("cannot write %s: %s", name != nullptr ? name : "the console",
                  std::strerror(errno != 0 ? errno : EIO));
    return 0;
}
