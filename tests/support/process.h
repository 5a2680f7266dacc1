// Child processes for the end-to-end tests: started with pipes on standard input,
// output and error, read in the background, waited for with a time limit.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Where a child's standard output goes: a pipe read by the test, a device that is
// always full, or a pipe whose reading end is closed before the child writes.
enum class StdoutKind { Pipe, FullDevice, ClosedPipe };

struct ProcessOptions {
    std::string workingDirectory;  // empty: the test's own
    bool keepStdinOpen = false;    // otherwise standard input is at end of file at once
    StdoutKind stdoutKind = StdoutKind::Pipe;
    // The child starts with the descriptor closed, as after `<&-` or `>&-` in a shell.
    bool closeStdin = false;
    bool closeStdout = false;
    bool closeStderr = false;
    // Standard error on a terminal of its own (a pseudo-terminal in raw mode, so that
    // its bytes arrive unchanged), as when a user runs the program in a console.
    bool stderrTerminal = false;
};

class Process {
public:
    Process(const std::vector<std::string>& argv, const ProcessOptions& options = {});
    ~Process();  // kills the child if it still runs
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    void WriteStdin(const std::string& text);
    void CloseStdin();
    void Signal(int signal);

    // Waits until the output read so far satisfies ready; false on time-out.
    bool WaitForStdout(const std::function<bool(const std::string&)>& ready,
                       std::chrono::milliseconds limit);
    bool WaitForStdoutText(const std::string& text, std::chrono::milliseconds limit);
    // The exit status (128 + signal for a signal), or -1 on time-out.
    int Wait(std::chrono::milliseconds limit);

    std::string Stdout();
    std::string Stderr();
    pid_t pid() const { return pid_; }

private:
    void ReadInto(int fd, std::string* text);

    pid_t pid_ = -1;
    int stdinFd_ = -1;
    int terminalFd_ = -1;  // the terminal's far end, held open until the child has ended
    int exitStatus_ = -1;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::string stdout_;
    std::string stderr_;
    int openStreams_ = 2;
    std::thread stdoutReader_;
    std::thread stderrReader_;
};

struct ProcessResult {
    int status;
    std::string out;
    std::string err;
};

// Runs a command to its end (at most limit) with the given standard input.
ProcessResult RunProcess(const std::vector<std::string>& argv, const ProcessOptions& options = {},
                         const std::string& input = "",
                         std::chrono::milliseconds limit = std::chrono::seconds(30));
