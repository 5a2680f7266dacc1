#include "tests/support/process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

extern char** environ;

namespace {

void CheckedPipe(int fds[2]) {
    if (pipe2(fds, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
}

// A pseudo-terminal in raw mode: fds[0] the end read here, fds[1] the child's end.
void Terminal(int fds[2]) {
    fds[0] = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fds[0] < 0 || grantpt(fds[0]) != 0 || unlockpt(fds[0]) != 0) {
        throw std::runtime_error("no pseudo-terminal");
    }
    fds[1] = open(ptsname(fds[0]), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios mode{};
    if (fds[1] < 0 || tcgetattr(fds[1], &mode) != 0) {
        throw std::runtime_error("cannot open the pseudo-terminal");
    }
    cfmakeraw(&mode);
    tcsetattr(fds[1], TCSANOW, &mode);
}

}  // namespace

Process::Process(const std::vector<std::string>& argv, const ProcessOptions& options) {
    signal(SIGPIPE, SIG_IGN);  // a child that is gone must not end the test
    int in[2];
    int out[2];
    int err[2];
    CheckedPipe(in);
    CheckedPipe(out);
    if (options.stderrTerminal) {
        Terminal(err);
    } else {
        CheckedPipe(err);
    }
    if (options.stdoutKind == StdoutKind::ClosedPipe) {
        // Nobody will read: the child's first write that reaches the pipe fails.
        close(out[0]);
        out[0] = open("/dev/null", O_RDONLY | O_CLOEXEC);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (options.closeStdin) {
        posix_spawn_file_actions_addclose(&actions, 0);
    } else {
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    }
    if (options.closeStdout) {
        posix_spawn_file_actions_addclose(&actions, 1);
    } else if (options.stdoutKind == StdoutKind::FullDevice) {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/full", O_WRONLY, 0);
    } else {
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    }
    if (options.closeStderr) {
        posix_spawn_file_actions_addclose(&actions, 2);
    } else {
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    }
    if (!options.workingDirectory.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, options.workingDirectory.c_str());
    }
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    // The child starts as from a shell: SIGPIPE, which this process ignores, back at its
    // default, so that a program that does not ignore it itself is seen to die of it.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    const int spawned = posix_spawn(&pid_, args[0], &actions, &attributes, args.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    // A terminal with no one on its far end answers reads with an error: it stays open
    // here until the child has ended.
    if (options.stderrTerminal) {
        terminalFd_ = err[1];
    } else {
        close(err[1]);
    }

    if (spawned != 0) {
        close(in[1]);
        close(out[0]);
        close(err[0]);
        if (terminalFd_ >= 0) {
            close(terminalFd_);
        }
        throw std::runtime_error("cannot start " + argv[0]);
    }
    stdinFd_ = in[1];
    if (!options.keepStdinOpen) {
        CloseStdin();
    }
    stdoutReader_ = std::thread([this, fd = out[0]] { ReadInto(fd, &stdout_); });
    stderrReader_ = std::thread([this, fd = err[0]] { ReadInto(fd, &stderr_); });
}

Process::~Process() {
    if (Wait(std::chrono::milliseconds(0)) < 0) {
        kill(pid_, SIGKILL);
        Wait(std::chrono::seconds(30));
    }
    CloseStdin();
    stdoutReader_.join();
    stderrReader_.join();
}

void Process::ReadInto(int fd, std::string* text) {
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        const std::lock_guard<std::mutex> lock(mutex_);
        if (n <= 0) {
            --openStreams_;
            changed_.notify_all();
            break;
        }
        text->append(buffer, static_cast<size_t>(n));
        changed_.notify_all();
    }
    close(fd);
}

void Process::WriteStdin(const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(stdinFd_, text.data() + done, text.size() - done);
        if (n <= 0) {
            break;
        }
        done += static_cast<size_t>(n);
    }
}

void Process::CloseStdin() {
    if (stdinFd_ >= 0) {
        close(stdinFd_);
        stdinFd_ = -1;
    }
}

void Process::Signal(int signal) {
    kill(pid_, signal);
}

bool Process::WaitForStdout(const std::function<bool(const std::string&)>& ready,
                            std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return ready(stdout_) || openStreams_ == 0; }) &&
           ready(stdout_);
}

bool Process::WaitForStdoutText(const std::string& text, std::chrono::milliseconds limit) {
    return WaitForStdout(
        [&](const std::string& out) { return out.find(text) != std::string::npos; }, limit);
}

int Process::Wait(std::chrono::milliseconds limit) {
    if (exitStatus_ >= 0) {
        return exitStatus_;
    }
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            if (terminalFd_ >= 0) {
                close(terminalFd_);
                terminalFd_ = -1;
            }
            // Whatever the child wrote before it ended is read before anyone looks.
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait_for(lock, std::chrono::seconds(5), [this] { return openStreams_ == 0; });
            return exitStatus_;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

std::string Process::Stdout() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return stdout_;
}

std::string Process::Stderr() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return stderr_;
}

ProcessResult RunProcess(const std::vector<std::string>& argv, const ProcessOptions& options,
                         const std::string& input, std::chrono::milliseconds limit) {
    ProcessOptions withInput = options;
    withInput.keepStdinOpen = true;
    Process process(argv, withInput);
    process.WriteStdin(input);
    process.CloseStdin();
    const int status = process.Wait(limit);
    return {status, process.Stdout(), process.Stderr()};
}
