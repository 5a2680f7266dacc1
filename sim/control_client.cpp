#include "sim/control_client.h"

#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <functional>

#include "sim/command_syntax.h"
#include "sim/served_record.h"
#include "sim/wire.h"

namespace {

using OutputSink = std::function<void(std::string_view)>;

int Fail(int status, const std::string& message) {
    std::fprintf(stderr, "vekdiag-sim: %s\n", message.c_str());
    return status;
}

// Runs args on the server; what it prints goes to output. The exit status.
int Send(const std::vector<std::string>& args, bool stop, const OutputSink& output) {
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
                output(reply.Bytes());
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
    if (done && stop) {
        // The server hangs up once it has removed its socket.
        while (receiver.Next(body)) {
        }
    }
    ::close(fd);
    return done ? status : Fail(1, "the server hung up");
}

// `served`: read from the record files here, so that a large record never passes
// through the server's memory. Without --record the server names the instance.
int PrintRecord(const ControlCommand& command, const std::vector<std::string>& args) {
    std::filesystem::path root = command.recordRoot;
    unsigned instance = static_cast<unsigned>(command.adapter);
    if (root.empty()) {
        std::string answer;
        const int status = Send({"instance", args[1]}, false,
                                [&](std::string_view bytes) { answer.append(bytes); });
        if (status != 0) {
            return status;
        }
        std::from_chars(answer.data(), answer.data() + answer.size(), instance);
        root = wire::RootFolder();
    }
    if (!PrintServed(ServedFolder(root), instance, command.log, command.blocks, stdout)) {
        return Fail(1, "no record of instance " + std::to_string(instance) + " in " +
                           ServedFolder(root).string());
    }
    return 0;
}

}  // namespace

int RunControl(const std::vector<std::string>& args) {
    std::string error;
    const std::optional<ControlCommand> command = ParseControlCommand(args, &error);
    if (!command) {
        std::fprintf(stderr, "vekdiag-sim: %s\n%s", error.c_str(), USAGE);
        return 2;
    }
    int status = 0;
    if (command->verb == Verb::Served) {
        status = PrintRecord(*command, args);
    } else {
        std::vector<std::string> sent = args;
        if (command->verb == Verb::Raw && !command->file.empty()) {
            // The server has a working folder of its own.
            std::error_code ignored;
            sent.back() = std::filesystem::absolute(command->file, ignored).string();
        }
        status = Send(sent, command->verb == Verb::Stop, [](std::string_view bytes) {
            std::fwrite(bytes.data(), 1, bytes.size(), stdout);
        });
    }
    std::fflush(stdout);
    return status;
}
