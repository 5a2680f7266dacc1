#include "tests/support/capture_stdout.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
int DuplicateFd(int fd) {
    return _dup(fd);
}
void ReplaceFd(int from, int to) {
    _dup2(from, to);
}
void CloseFd(int fd) {
    _close(fd);
}
int FdOf(FILE* file) {
    return _fileno(file);
}
#else
int DuplicateFd(int fd) {
    return dup(fd);
}
void ReplaceFd(int from, int to) {
    dup2(from, to);
}
void CloseFd(int fd) {
    close(fd);
}
int FdOf(FILE* file) {
    return fileno(file);
}
#endif

std::string UniqueCapturePath() {
    static int counter = 0;
    std::ostringstream name;
    name << "quorvin-stdout-" << std::hex << reinterpret_cast<uintptr_t>(&counter) << "-"
         << ++counter << ".txt";
    return (std::filesystem::temp_directory_path() / name.str()).string();
}

}  // namespace

StdoutCapture::StdoutCapture() : path_(UniqueCapturePath()) {
    std::fflush(stdout);
    savedFd_ = DuplicateFd(FdOf(stdout));
    FILE* file = std::fopen(path_.c_str(), "w");
    if (file != nullptr) {
        ReplaceFd(FdOf(file), FdOf(stdout));
        std::fclose(file);
    }
}

StdoutCapture::~StdoutCapture() {
    Finish();
}

std::string StdoutCapture::Finish() {
    if (savedFd_ < 0) {
        return {};
    }
    std::fflush(stdout);
    ReplaceFd(savedFd_, FdOf(stdout));
    CloseFd(savedFd_);
    savedFd_ = -1;
    std::ifstream in(path_);  // text mode: CR LF reads as LF on Windows
    std::ostringstream text;
    text << in.rdbuf();
    in.close();
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
    return text.str();
}
