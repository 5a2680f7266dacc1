#include "base/console.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>

namespace {

std::atomic<bool> failed{false};
std::atomic<bool> optional{false};

// The status line and what the console shows around it. Writes of both threads of a
// capture come through here, so the lock keeps each whole.
struct ConsoleState {
    std::mutex mutex;
    bool atLineStart = true;     // of standard output
    size_t statusWidth = 0;      // of the status line shown; 0: none shown
    bool sharesConsole = false;  // standard output shows where the status line is
};

ConsoleState& State() {
    static auto* state = new ConsoleState;  // a control handler may print after main
    return *state;
}

void WriteStderr(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

// With the lock held.
void Hide(ConsoleState& state) {
    if (state.statusWidth != 0) {
        std::string blank(1, '\r');
        blank.append(state.statusWidth, ' ').push_back('\r');
        WriteStderr(blank);
        state.statusWidth = 0;
    }
}

// The reason of the first failure, then nothing more: one failure is one line. Output
// that is a courtesy fails quietly (a capture started with no standard output at all
// would say so in every run).
int Fail(int error) {
    if (!failed.exchange(true) && !optional.load()) {
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

int Write(const void* data, size_t size) {
    bool written = false;
    int error = 0;
    {
        ConsoleState& state = State();
        const std::lock_guard<std::mutex> lock(state.mutex);
        if (state.sharesConsole) {
            Hide(state);
        }
        errno = 0;
        written = std::fwrite(data, 1, size, stdout) == size && std::ferror(stdout) == 0;
        error = errno;
        if (size > 0) {
            state.atLineStart = static_cast<const char*>(data)[size - 1] == '\n';
        }
    }
    return written ? 1 : Fail(error);
}

}  // namespace

int ConsolePrintf(const char* format, ...) {
    if (failed.load()) {
        return 0;
    }
    char small[512];
    va_list arguments;
    va_start(arguments, format);
    va_list again;
    va_copy(again, arguments);
    const int length = std::vsnprintf(small, sizeof small, format, arguments);  // NOLINT
    va_end(arguments);
    if (length < 0) {
        va_end(again);
        return Fail(EINVAL);
    }
    const auto size = static_cast<size_t>(length);
    if (size < sizeof small) {
        va_end(again);
        return Write(small, size);
    }
    const std::unique_ptr<char[]> large(new char[size + 1]);
    std::vsnprintf(large.get(), size + 1, format, again);  // NOLINT
    va_end(again);
    return Write(large.get(), size);
}

int ConsoleWrite(const void* data, size_t size) {
    if (failed.load()) {
        return 0;
    }
    return Write(data, size);
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

void MakeConsoleOptional() {
    optional = true;
}

bool ConsoleRequired() {
    return !optional.load();
}

bool ConsoleAtLineStart() {
    ConsoleState& state = State();
    const std::lock_guard<std::mutex> lock(state.mutex);
    return state.atLineStart;
}

void DrawStatusLine(const std::string& text, bool sharesConsole) {
    std::fflush(stdout);
    ConsoleState& state = State();
    const std::lock_guard<std::mutex> lock(state.mutex);
    state.sharesConsole = sharesConsole;
    // A line that standard output left open on the same console keeps its place above.
    const bool openLine = state.statusWidth == 0 && !state.atLineStart && sharesConsole;
    std::string line = openLine ? "\n\r" : "\r";
    state.atLineStart = state.atLineStart || openLine;
    line += text;
    if (text.size() < state.statusWidth) {
        line.append(state.statusWidth - text.size(), ' ');  // what is left of a longer line
    }
    WriteStderr(line);
    state.statusWidth = std::max<size_t>(text.size(), 1);
}

void HideStatusLine() {
    ConsoleState& state = State();
    const std::lock_guard<std::mutex> lock(state.mutex);
    Hide(state);
}

void EndStatusLine() {
    ConsoleState& state = State();
    const std::lock_guard<std::mutex> lock(state.mutex);
    if (state.statusWidth != 0) {
        WriteStderr("\n");
        state.statusWidth = 0;
    }
}
