// The standard handles and the console's control events. SIGINT, SIGHUP and SIGTERM
// stand for Ctrl+C, the console closed and shutdown. As on Windows, every event runs
// the handlers on a thread of its own, the last one added first, until one returns TRUE;
// when none does, the event takes its default course and ends the process.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/linux/kernel_object.h"

namespace {

class StdStream : public KernelObject {
public:
    explicit StdStream(int fd) : fd(fd) {}
    const int fd;
};

struct ControlHandlers {
    std::mutex mutex;
    std::vector<PHANDLER_ROUTINE> routines;
    bool ignoreCtrlC = false;
    int pipe[2] = {-1, -1};  // signal number bytes, from the signal handler to the dispatcher
};

ControlHandlers& Handlers() {
    static auto* handlers = new ControlHandlers;  // a handler thread may outlive main
    return *handlers;
}

constexpr int SIGNALS[] = {SIGINT, SIGHUP, SIGTERM};

DWORD ControlTypeOf(int signal) {
    switch (signal) {
        case SIGINT:
            return CTRL_C_EVENT;
        case SIGHUP:
            return CTRL_CLOSE_EVENT;
        default:
            return CTRL_SHUTDOWN_EVENT;
    }
}

void OnSignal(int signal) {
    const int saved = errno;
    const auto byte = static_cast<char>(signal);
    (void)!::write(Handlers().pipe[1], &byte, 1);
    errno = saved;
}

void RunHandlers(int signal) {
    const DWORD type = ControlTypeOf(signal);
    std::vector<PHANDLER_ROUTINE> routines;
    bool ignored = false;
    {
        ControlHandlers& handlers = Handlers();
        const std::lock_guard<std::mutex> lock(handlers.mutex);
        routines.assign(handlers.routines.rbegin(), handlers.routines.rend());
        ignored = type == CTRL_C_EVENT && handlers.ignoreCtrlC;
    }
    if (ignored) {
        return;
    }
    for (PHANDLER_ROUTINE routine : routines) {
        if (routine(type) != FALSE) {
            return;
        }
    }
    ::signal(signal, SIG_DFL);
    ::kill(::getpid(), signal);
}

void Dispatch() {
    for (;;) {
        char byte = 0;
        const ssize_t got = ::read(Handlers().pipe[0], &byte, 1);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return;
        }
        std::thread(RunHandlers, static_cast<int>(byte)).detach();
    }
}

// The signals are caught from the first registration on; false when that cannot be.
bool CatchSignals(ControlHandlers& handlers) {
    if (handlers.pipe[0] >= 0) {
        return true;
    }
    if (::pipe2(handlers.pipe, O_CLOEXEC) != 0) {
        return false;
    }
    ::fcntl(handlers.pipe[1], F_SETFL, O_NONBLOCK);
    std::thread(Dispatch).detach();
    struct sigaction action {};
    action.sa_handler = OnSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (int signal : SIGNALS) {
        ::sigaction(signal, &action, nullptr);
    }
    return true;
}

}  // namespace

HANDLE GetStdHandle(DWORD nStdHandle) {
    static HANDLE const handles[3] = {
        RegisterKernelObject(std::make_shared<StdStream>(STDIN_FILENO)),
        RegisterKernelObject(std::make_shared<StdStream>(STDOUT_FILENO)),
        RegisterKernelObject(std::make_shared<StdStream>(STDERR_FILENO))};
    switch (nStdHandle) {
        case STD_INPUT_HANDLE:
            return handles[0];
        case STD_OUTPUT_HANDLE:
            return handles[1];
        case STD_ERROR_HANDLE:
            return handles[2];
        default:
            SetLastError(ERROR_INVALID_HANDLE);
            return INVALID_HANDLE_VALUE;
    }
}

BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
              LPDWORD lpNumberOfBytesRead, LPOVERLAPPED /*lpOverlapped*/) {
    if (lpNumberOfBytesRead != nullptr) {
        *lpNumberOfBytesRead = 0;
    }
    const std::shared_ptr<StdStream> stream = FindKernelObject<StdStream>(hFile);
    if (stream == nullptr) {
        return FALSE;
    }
    ssize_t got = -1;
    do {
        got = ::read(stream->fd, lpBuffer, nNumberOfBytesToRead);
    } while (got < 0 && errno == EINTR);
    const int error = errno;
    if (got < 0) {
        SetLastError(error == EBADF ? ERROR_INVALID_HANDLE : ERROR_GEN_FAILURE);
        return FALSE;
    }
    if (lpNumberOfBytesRead != nullptr) {
        *lpNumberOfBytesRead = static_cast<DWORD>(got);
    }
    return TRUE;
}

BOOL GetConsoleMode(HANDLE hConsoleHandle, LPDWORD lpMode) {
    const std::shared_ptr<StdStream> stream = FindKernelObject<StdStream>(hConsoleHandle);
    if (stream == nullptr || ::isatty(stream->fd) == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (lpMode != nullptr) {
        *lpMode = 0;
    }
    return TRUE;
}

BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE HandlerRoutine, BOOL Add) {
    ControlHandlers& handlers = Handlers();
    const std::lock_guard<std::mutex> lock(handlers.mutex);
    if (HandlerRoutine == nullptr) {
        handlers.ignoreCtrlC = Add != FALSE;
        return TRUE;
    }
    if (Add == FALSE) {
        for (auto it = handlers.routines.rbegin(); it != handlers.routines.rend(); ++it) {
            if (*it == HandlerRoutine) {
                handlers.routines.erase(std::next(it).base());
                return TRUE;
            }
        }
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!CatchSignals(handlers)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    handlers.routines.push_back(HandlerRoutine);
    return TRUE;
}
