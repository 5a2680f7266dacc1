#include "sim/server.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <thread>

#include "sim/driver.h"
#include "sim/served_record.h"
#include "sim/session.h"
#include "sim/wire.h"

namespace {

int Fail(const std::string& message) {
    std::fprintf(stderr, "vekdiag-sim: %s\n", message.c_str());
    return 1;
}

// Takes the root folder's lock for the life of the process (the descriptor stays open
// on purpose); an empty answer when it has it, else why not.
std::string LockRoot(const std::filesystem::path& root) {
    const std::string path = (root / wire::LOCK_NAME).string();
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        return "cannot open " + path + ": " + std::strerror(errno);
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return "a server is already running at " + root.string();
    }
    return {};
}

// Makes the record folder and takes the root for this server; an empty answer when it
// has it, else why not.
std::string ClaimRoot(const std::filesystem::path& root, const std::filesystem::path& records) {
    std::error_code error;
    std::filesystem::create_directories(records, error);
    if (error) {
        return "cannot create " + records.string() + ": " + error.message();
    }
    const int probe = wire::Connect();
    if (probe >= 0) {
        ::close(probe);
        return "a server is already running at " + root.string();
    }
    return LockRoot(root);
}

void AcceptLoop(Driver* driver, int listener) {
    for (;;) {
        const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno != EINTR && errno != ECONNABORTED) {
                // Out of descriptors or memory: give the sessions a moment to end.
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            continue;
        }
        try {
            std::thread([driver, fd] { RunSession(*driver, fd); }).detach();
        } catch (const std::system_error&) {
            ::close(fd);  // no thread to be had: the client sees a hang-up
        }
    }
}

}  // namespace

int Serve(const ServeOptions& options) {
    const std::filesystem::path root = wire::RootFolder();
    sockaddr_un address;
    std::string socketPath;
    if (!wire::SocketAddress(address, &socketPath)) {
        return Fail("socket path too long (" + std::to_string(socketPath.size()) +
                    " bytes, at most " + std::to_string(sizeof address.sun_path - 1) +
                    "): " + socketPath + "; choose a shorter " + wire::ROOT_VARIABLE);
    }
    const std::filesystem::path records = ServedFolder(root);
    const std::string rootError = ClaimRoot(root, records);
    if (!rootError.empty()) {
        return Fail(rootError);
    }

    // Signals are taken by sigwait below, never by a handler on some other thread.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    // Whatever is left there is a stale socket: no live server holds the lock.
    ::unlink(socketPath.c_str());
    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener < 0 ||
        ::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, SOMAXCONN) != 0) {
        return Fail("cannot listen at " + socketPath + ": " + std::strerror(errno));
    }

    auto* driver = new Driver(options, records);  // lives until _exit: sessions may use it
    std::thread(AcceptLoop, driver, listener).detach();
    std::fputs("ready\n", stdout);
    std::fflush(stdout);

    int signal = 0;
    while (sigwait(&stopSignals, &signal) != 0) {
    }
    ::unlink(socketPath.c_str());
    driver->StopStreams();
    std::fflush(stdout);
    // Session threads are still blocked in their sockets; ending the process closes them.
    ::_exit(0);
}
