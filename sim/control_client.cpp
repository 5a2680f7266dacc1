#include "sim/control_client.h"

#include <sys/un.h>
#include <unistd.h>

#include <cstdio>

#include "sim/command_syntax.h"
#include "sim/wire.h"

namespace {

int Fail(int status, const std::string& message) {
    std::fprintf(stderr, "vekdiag-sim: %s\n", message.c_str());
    return status;
}

}  // namespace

int RunControl(const std::vector<std::string>& args) {
    std::string error;
    const std::optional<ControlCommand> command = ParseControlCommand(args, &error);
    if (!command) {
        std::fprintf(stderr, "vekdiag-sim: %s\n%s", error.c_str(), kUsage);
        return 2;
    }
    sockaddr_un address;
    std::string socketPath;
    if (!wire::SocketAddress(address, &socketPath)) {
        return Fail(1, "socket path too long: " + socketPath);
    }
    const int fd = wire::Connect();
    if (fd < 0) {
        return Fail(1, "no server running (no answer at " + socketPath + ")");
    }
    wire::Writer request(wire::Kind::Control);
    request.U32(static_cast<uint32_t>(args.size()));
    for (const std::string& arg : args) {
        request.Bytes(arg);
    }
    int status = 1;
    bool done = false;
    std::string body;
    wire::Receiver receiver(fd);
    if (wire::Send(fd, request)) {
        while (!done && receiver.Next(body)) {
            wire::Reader reply(body);
            const wire::Kind kind = reply.ReadKind();
            if (kind == wire::Kind::Output) {
                const std::string_view bytes = reply.Bytes();
                std::fwrite(bytes.data(), 1, bytes.size(), stdout);
            } else if (kind == wire::Kind::Done) {
                status = static_cast<int>(reply.U32());
                const std::string_view message = reply.Bytes();
                if (!message.empty()) {
                    std::fprintf(stderr, "vekdiag-sim: %.*s\n", static_cast<int>(message.size()),
                                 message.data());
                }
                done = true;
            }
        }
    }
    if (done && command->verb == Verb::Stop) {
        // The server hangs up once it has removed its socket.
        while (receiver.Next(body)) {
        }
    }
    ::close(fd);
    std::fflush(stdout);
    return done ? status : Fail(1, "the server hung up");
}
