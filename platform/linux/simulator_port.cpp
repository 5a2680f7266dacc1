// The program's port to the driver: the driver simulator, a process of its own, over
// Unix-domain sockets (sim/wire.h). Each channel, listing and subscription is a
// connection of its own, which the simulator answers synchronously.
//
// Before the layer opens its first descriptor, descriptors 0, 1 and 2 are made sure to be
// open: a program started with a standard stream closed would otherwise get a simulator
// socket in its place and read it as its input or write its output into it. A closed one
// is filled with /dev/null opened for reading only, so it still behaves as a closed
// stream does for the program: reads end at once and writes fail.
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <string>
#include <utility>

#include "platform/linux/driver_port.h"
#include "sim/wire.h"

namespace {

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

// A connection to the running simulator, or -1 when none answers.
int Connect() {
    KeepStandardStreamsTaken();
    return wire::Connect();
}

// Sends the first message of a new connection and reads the reply into body; -1 when no
// simulator answers, else the connection (whose receiver is left in *receiver).
int Ask(wire::Writer& request, std::string* body, std::unique_ptr<wire::Receiver>* receiver) {
    const int fd = Connect();
    if (fd < 0) {
        return -1;
    }
    *receiver = std::make_unique<wire::Receiver>(fd);
    if (!wire::Send(fd, request) || !(*receiver)->Next(*body)) {
        body->clear();
    }
    return fd;
}

class SimulatorChannel : public DriverChannel {
public:
    SimulatorChannel(int fd, std::unique_ptr<wire::Receiver> receiver)
        : fd_(fd), receiver_(std::move(receiver)) {}

    // The simulator records the close and releases the channel before it answers, so a
    // channel closed here can be reopened at once.
    ~SimulatorChannel() override {
        if (connected_) {
            wire::Writer close(wire::Kind::Close);
            std::string reply;
            if (wire::Send(fd_, close)) {
                receiver_->Next(reply);
            }
        }
        ::close(fd_);
    }

    DWORD Request(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize,
                  DWORD* returned) override {
        *returned = 0;
        const std::lock_guard<std::mutex> lock(mutex_);
        if (!connected_) {
            return ERROR_DEVICE_NOT_CONNECTED;
        }
        wire::Writer request(wire::Kind::Ioctl, 12 + inSize);
        request.U32(code).U32(outSize).Bytes(
            std::string_view(static_cast<const char*>(in), inSize));
        if (!wire::Send(fd_, request) || !receiver_->Next(reply_)) {
            connected_ = false;
            return ERROR_DEVICE_NOT_CONNECTED;
        }
        wire::Reader answer(reply_);
        const wire::Kind kind = answer.ReadKind();
        const DWORD error = answer.U32();
        const DWORD reported = answer.U32();
        const std::string_view data = answer.Bytes();
        if (kind != wire::Kind::IoctlReply || !answer.ok() || data.size() > outSize) {
            connected_ = false;
            return ERROR_DEVICE_NOT_CONNECTED;
        }
        if (!data.empty()) {
            std::memcpy(out, data.data(), data.size());
        }
        *returned = reported;
        return error;
    }

private:
    const int fd_;
    std::unique_ptr<wire::Receiver> receiver_;
    std::mutex mutex_;  // one request at a time on the connection
    bool connected_ = true;
    std::string reply_;
};

// A subscription: to every interface's arrivals and removals, or to one adapter's
// notifications, whose queries it answers on the same connection.
class SimulatorEvents : public DriverEvents {
public:
    SimulatorEvents(int fd, wire::Writer request)
        : fd_(fd), receiver_(fd), request_(std::move(request)) {}
    ~SimulatorEvents() override { ::close(fd_); }

    Subscription Begin() override {
        std::string body;
        if (!wire::Send(fd_, request_) || !receiver_.Next(body)) {
            return Subscription::Lost;
        }
        wire::Reader reply(body);
        const wire::Kind kind = reply.ReadKind();
        const uint32_t refused = reply.U32();
        if (kind != wire::Kind::SubscribeReply || !reply.ok()) {
            return Subscription::Lost;
        }
        switch (refused) {
            case wire::SUBSCRIPTION_LIVE:
                return Subscription::Live;
            case wire::SUBSCRIPTION_NO_DEVICE:
                return Subscription::NoDevice;
            default:
                return Subscription::Refused;
        }
    }

    bool Next(DriverEvent* event) override {
        std::string body;
        if (!receiver_.Next(body)) {
            return false;
        }
        wire::Reader message(body);
        const wire::Kind kind = message.ReadKind();
        const uint32_t action = message.U32();
        const std::string_view path = message.Bytes();
        query_ = message.U32();
        if (kind != wire::Kind::Event || !message.ok() || action >= CM_NOTIFY_ACTION_MAX) {
            return false;
        }
        *event = DriverEvent{static_cast<CM_NOTIFY_ACTION>(action), std::string(path)};
        return true;
    }

    // A simulator that is gone by now needs no answer.
    void Answer(DWORD result) override {
        wire::Writer answer(wire::Kind::Answer);
        answer.U32(query_).U32(result);
        wire::Send(fd_, answer);
    }

    // Wakes a Begin or Next in progress: the connection reads as hung up.
    void Cancel() override { ::shutdown(fd_, SHUT_RDWR); }

private:
    const int fd_;
    wire::Receiver receiver_;
    wire::Writer request_;
    uint32_t query_ = 0;
};

std::unique_ptr<DriverEvents> StartSubscription(wire::Writer request) {
    const int fd = Connect();
    return fd < 0 ? nullptr : std::make_unique<SimulatorEvents>(fd, std::move(request));
}

}  // namespace

DWORD OpenDriverChannel(const char* path, DWORD access, DWORD share,
                        std::unique_ptr<DriverChannel>* channel) {
    wire::Writer request(wire::Kind::Open);
    request.Bytes(path).U32(access).U32(share);
    std::string body;
    std::unique_ptr<wire::Receiver> receiver;
    const int fd = Ask(request, &body, &receiver);
    if (fd < 0) {
        return ERROR_FILE_NOT_FOUND;  // without a simulator there are no devices to open
    }
    wire::Reader reply(body);
    const wire::Kind kind = reply.ReadKind();
    DWORD error = reply.U32();
    if (kind != wire::Kind::OpenReply || !reply.ok()) {
        error = ERROR_FILE_NOT_FOUND;
    }
    if (error != ERROR_SUCCESS) {
        ::close(fd);
        return error;
    }
    *channel = std::make_unique<SimulatorChannel>(fd, std::move(receiver));
    return ERROR_SUCCESS;
}

DWORD ListDriverInterfaces(std::vector<DriverInterface>* interfaces) {
    interfaces->clear();
    wire::Writer request(wire::Kind::Enumerate);
    std::string body;
    std::unique_ptr<wire::Receiver> receiver;
    const int fd = Ask(request, &body, &receiver);
    if (fd < 0) {
        return ERROR_SUCCESS;  // no simulator: a machine without the driver
    }
    ::close(fd);
    wire::Reader reply(body);
    const bool listed = reply.ReadKind() == wire::Kind::EnumerateReply;
    const DWORD error = reply.U32();
    const uint32_t count = reply.U32();
    for (uint32_t i = 0; i < count && reply.ok(); ++i) {
        const std::string_view path = reply.Bytes();
        const bool present = reply.U32() != 0;
        interfaces->push_back(DriverInterface{std::string(path), present});
    }
    if (!listed || !reply.ok() || error != ERROR_SUCCESS) {
        interfaces->clear();
        return listed && reply.ok() ? error : ERROR_GEN_FAILURE;
    }
    return ERROR_SUCCESS;
}

std::unique_ptr<DriverEvents> SubscribeToDriver() {
    return StartSubscription(wire::Writer(wire::Kind::Subscribe));
}

std::unique_ptr<DriverEvents> SubscribeToDevice(const std::string& devicePath) {
    wire::Writer request(wire::Kind::SubscribeDevice);
    request.Bytes(devicePath);
    return StartSubscription(std::move(request));
}
