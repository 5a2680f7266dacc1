// One file that a log is written to: created or emptied (or appended to) so that no other program
// can write it meanwhile, its first failure said once with its reason, and written through to the
// disk when asked.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

class LogFile {
public:
    LogFile() = default;
    // A file still open here was abandoned by a failure elsewhere: closed, not reported.
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // Creates the file, or empties it, in binary or text mode; zero, said, when that
    // cannot be done (another program holding it is said as such).
    int Create(const std::string& name, bool binary);
    // Opens the file for appending in text mode, created when missing, never emptied;
    // zero, said, when that cannot be done.
    int Append(const std::string& name);
    // A stream that the caller opened and will close.
    void Attach(FILE* stream, const char* name);

    // Each returns non-zero while everything written has reached the stream, the disk or
    // the file; after a failure nothing more is written.
    int Write(const void* data, size_t size);
    int Flush();
    // Writes through to the disk what came since the last time; nothing when nothing came.
    int Sync();
    int Close();
    // Closes without a word: for a file about to be deleted.
    void Abandon();

    bool IsOpen() const { return file_ != nullptr; }
    bool Failed() const { return failed_; }
    const std::string& Name() const { return name_; }

private:
    int Open(const std::string& name, bool binary, bool append);
    int Fail(int error);

    FILE* file_ = nullptr;
    std::string name_;
    bool owned_ = false;
    bool failed_ = false;
    bool unsynced_ = false;  // written since the last sync
};
