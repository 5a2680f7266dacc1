#include "logs/log_file.h"

#include <cerrno>
#include <cstring>

#include "base/report.h"
#include "platform/log_files.h"

namespace {

int ErrorOr(int error) {
    return error != 0 ? error : EIO;
}

}  // namespace

LogFile::~LogFile() {
    Abandon();
}

int LogFile::Create(const std::string& name, bool binary) {
    return Open(name, binary, false);
}

int LogFile::Append(const std::string& name) {
    return Open(name, false, true);
}

int LogFile::Open(const std::string& name, bool binary, bool append) {
    name_ = name;
    errno = 0;
    bool inUse = false;
    file_ =
        append ? AppendLogFile(name.c_str(), &inUse) : CreateLogFile(name.c_str(), binary, &inUse);
    if (file_ == nullptr) {
        failed_ = true;
        ReportFailure("cannot %s %s: %s", append ? "open" : "create",
                      Printable(name.c_str()).c_str(),
                      inUse ? "in use by another program" : std::strerror(ErrorOr(errno)));
        return 0;
    }
    owned_ = true;
    return 1;
}

void LogFile::Attach(FILE* stream, const char* name) {
    file_ = stream;
    name_ = name;
    owned_ = false;
}

int LogFile::Fail(int error) {
    if (!failed_) {
        failed_ = true;
        ReportFailure("cannot write %s: %s", Printable(name_.c_str()).c_str(),
                      std::strerror(ErrorOr(error)));
    }
    return 0;
}

int LogFile::Write(const void* data, size_t size) {
    if (failed_ || file_ == nullptr) {
        return 0;
    }
    errno = 0;
    if (std::fwrite(data, 1, size, file_) != size || std::ferror(file_) != 0) {
        return Fail(errno);
    }
    unsynced_ = unsynced_ || size > 0;
    return 1;
}

int LogFile::Flush() {
    if (failed_ || file_ == nullptr) {
        return 0;
    }
    errno = 0;
    if (std::fflush(file_) != 0 || std::ferror(file_) != 0) {
        return Fail(errno);
    }
    return 1;
}

int LogFile::Sync() {
    if (failed_ || file_ == nullptr) {
        return 0;
    }
    if (!unsynced_) {
        return 1;
    }
    errno = 0;
    if (SyncLogFile(file_) == 0) {
        return Fail(errno);
    }
    unsynced_ = false;
    return 1;
}

int LogFile::Close() {
    if (file_ == nullptr) {
        return 0;
    }
    if (!owned_) {
        const int flushed = Flush();
        file_ = nullptr;
        return flushed;
    }
    const int flushed = Flush();
    errno = 0;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!closed && flushed != 0) {
        Fail(errno);  // what the close itself could not write
    }
    return failed_ ? 0 : 1;
}

void LogFile::Abandon() {
    if (owned_ && file_ != nullptr) {
        std::fclose(file_);
    }
    file_ = nullptr;
}
