#include "platform/linux/simulator_connection.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

#include "sim/wire.h"

void KeepStandardStreamsTaken() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (int fd = 0; fd <= 2; ++fd) {
            if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) {
                continue;
            }
            // The lowest free number, as all below it are open: fd, unless some other
            // thread took fd meanwhile, which leaves it open all the same.
            const int filler = ::open("/dev/null", O_RDONLY);
            if (filler > fd) {
                ::close(filler);
            }
        }
    });
}

int ConnectToSimulator() {
    KeepStandardStreamsTaken();
    return wire::Connect();
}
