#include "sim/session.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "sim/command_syntax.h"
#include "sim/driver.h"
#include "sim/wire.h"

namespace {

constexpr size_t OUTPUT_PIECE = 1 << 20;

// Waits until the client hangs up.
void AwaitHangUp(int fd) {
    char byte = 0;
    while (::recv(fd, &byte, 1, 0) > 0) {
    }
}

void ServeChannel(Driver& driver, int fd, wire::Receiver& receiver, const OpenChannel& open) {
    std::string body;
    while (receiver.Next(body)) {
        wire::Reader request(body);
        const wire::Kind kind = request.ReadKind();
        if (kind == wire::Kind::Close) {
            // Answered after the close took effect, so the handle's owner can reopen.
            driver.Close(open);
            wire::Writer reply(wire::Kind::CloseReply);
            wire::Send(fd, reply);
            return;
        }
        const uint32_t code = request.U32();
        const uint32_t outCapacity = request.U32();
        const std::string_view input = request.Bytes();
        if (kind != wire::Kind::Ioctl || !request.ok()) {
            break;
        }
        const IoctlResult result = driver.Ioctl(open, code, input, outCapacity);
        wire::Writer reply(wire::Kind::IoctlReply, result.output.size() + 12);
        reply.U32(result.error)
            .U32(static_cast<uint32_t>(result.output.size()) + result.overcount)
            .Bytes(result.output);
        if (!wire::Send(fd, reply)) {
            break;
        }
    }
    // The client went away without closing: the handle dies with its process.
    driver.Close(open);
}

void ServeOpen(Driver& driver, int fd, wire::Receiver& receiver, wire::Reader& request) {
    const std::string_view path = request.Bytes();
    const uint32_t access = request.U32();
    const uint32_t share = request.U32();
    if (!request.ok()) {
        return;
    }
    OpenChannel open;
    const uint32_t error = driver.Open(path, access, share, &open);
    wire::Writer reply(wire::Kind::OpenReply);
    reply.U32(error);
    if (!wire::Send(fd, reply)) {
        if (error == 0) {
            driver.Close(open);
        }
        return;
    }
    if (error == 0) {
        ServeChannel(driver, fd, receiver, open);
    }
}

void ServeEnumerate(Driver& driver, int fd) {
    std::vector<InterfaceEntry> entries;
    const uint32_t error = driver.Interfaces(&entries);
    wire::Writer reply(wire::Kind::EnumerateReply);
    reply.U32(error).U32(static_cast<uint32_t>(entries.size()));
    for (const InterfaceEntry& entry : entries) {
        reply.Bytes(entry.path).U32(entry.present ? 1 : 0);
    }
    wire::Send(fd, reply);
}

// Queues events for one subscriber and wakes its session thread; for a subscription to
// one adapter, also takes the answers to its queries.
class Subscriber : public DeviceSink {
public:
    Subscriber() : wake_(::eventfd(0, EFD_CLOEXEC)) {}
    ~Subscriber() override {
        if (wake_ >= 0) {
            ::close(wake_);
        }
    }
    Subscriber(const Subscriber&) = delete;
    Subscriber& operator=(const Subscriber&) = delete;

    int wake() const { return wake_; }

    void Post(const InterfaceEvent& event) override {
        const std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(event);
        const uint64_t one = 1;
        (void)!::write(wake_, &one, sizeof one);
    }

    std::deque<InterfaceEvent> TakeAll() {
        uint64_t count = 0;
        (void)!::read(wake_, &count, sizeof count);
        const std::lock_guard<std::mutex> lock(mutex_);
        std::deque<InterfaceEvent> events;
        events.swap(queue_);
        return events;
    }

    void Answered(uint32_t query, uint32_t result) {
        const std::lock_guard<std::mutex> lock(mutex_);
        answers_[query] = result;
        answered_.notify_all();
    }

    // The client hung up: no answer will come, and none is needed.
    void Left() {
        const std::lock_guard<std::mutex> lock(mutex_);
        left_ = true;
        answered_.notify_all();
    }

    std::optional<uint32_t> AwaitAnswer(uint32_t query,
                                        std::chrono::steady_clock::time_point deadline) override {
        std::unique_lock<std::mutex> lock(mutex_);
        answered_.wait_until(lock, deadline, [&] { return left_ || answers_.count(query) != 0; });
        if (left_) {
            return 0;
        }
        const auto answer = answers_.find(query);
        if (answer == answers_.end()) {
            return std::nullopt;
        }
        const uint32_t result = answer->second;
        answers_.erase(answer);
        return result;
    }

private:
    const int wake_;
    std::mutex mutex_;
    std::condition_variable answered_;
    std::deque<InterfaceEvent> queue_;
    std::map<uint32_t, uint32_t> answers_;  // query -> result
    bool left_ = false;
};

// Takes the client's answers; false once it hung up or said something else.
bool TakeAnswers(wire::Receiver& receiver, Subscriber& subscriber) {
    std::string body;
    do {
        if (!receiver.Next(body)) {
            return false;
        }
        wire::Reader answer(body);
        const wire::Kind kind = answer.ReadKind();
        const uint32_t query = answer.U32();
        const uint32_t result = answer.U32();
        if (kind != wire::Kind::Answer || !answer.ok()) {
            return false;
        }
        subscriber.Answered(query, result);
    } while (receiver.Buffered());
    return true;
}

// Sends the subscriber's events until either side hangs up. The client of an arrival
// subscription sends nothing: anything there is its hang-up.
void SendEvents(int fd, wire::Receiver* answers, Subscriber& subscriber) {
    bool open = true;
    while (open) {
        pollfd fds[2] = {{fd, POLLIN, 0}, {subscriber.wake(), POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            open = errno == EINTR;
            continue;
        }
        if (fds[0].revents != 0 && (answers == nullptr || !TakeAnswers(*answers, subscriber))) {
            break;
        }
        if ((fds[1].revents & POLLIN) != 0) {
            for (const InterfaceEvent& event : subscriber.TakeAll()) {
                wire::Writer message(wire::Kind::Event);
                message.U32(event.action).Bytes(event.path).U32(event.query);
                if (!wire::Send(fd, message)) {
                    open = false;
                    break;
                }
            }
        }
    }
}

bool SendSubscribeReply(int fd, uint32_t refused) {
    wire::Writer reply(wire::Kind::SubscribeReply);
    reply.U32(refused);
    return wire::Send(fd, reply) && refused == wire::SUBSCRIPTION_LIVE;
}

void ServeSubscription(Driver& driver, int fd) {
    Subscriber subscriber;
    if (subscriber.wake() < 0) {
        return;
    }
    // Subscribed before the reply: whatever arrives after registration returns is seen.
    const bool subscribed = driver.Subscribe(&subscriber);
    if (SendSubscribeReply(fd, subscribed ? wire::SUBSCRIPTION_LIVE : wire::SUBSCRIPTION_REFUSED)) {
        SendEvents(fd, nullptr, subscriber);
    }
    if (subscribed) {
        driver.Unsubscribe(&subscriber);
    }
}

void ServeDeviceSubscription(Driver& driver, int fd, wire::Receiver& receiver,
                             wire::Reader& request) {
    const std::string_view path = request.Bytes();
    const auto subscriber = std::make_shared<Subscriber>();
    if (!request.ok() || subscriber->wake() < 0) {
        return;
    }
    const uint32_t refused = driver.SubscribeDevice(path, subscriber);
    if (SendSubscribeReply(fd, refused)) {
        SendEvents(fd, &receiver, *subscriber);
    }
    if (refused == wire::SUBSCRIPTION_LIVE) {
        driver.UnsubscribeDevice(subscriber.get());
    }
    subscriber->Left();
}

void ServeControl(Driver& driver, int fd, wire::Reader& request) {
    const uint32_t count = request.U32();
    std::vector<std::string> args;
    for (uint32_t i = 0; i < count && request.ok(); ++i) {
        args.emplace_back(request.Bytes());
    }
    if (!request.ok()) {
        return;
    }
    std::string error;
    const std::optional<ControlCommand> command = ParseControlCommand(args, &error);
    ControlResult result;
    if (command) {
        result = driver.Execute(*command);
    } else {
        result.status = 2;
        result.message = error;
    }
    for (size_t at = 0; at < result.output.size(); at += OUTPUT_PIECE) {
        wire::Writer piece(wire::Kind::Output, OUTPUT_PIECE);
        piece.Bytes(std::string_view(result.output).substr(at, OUTPUT_PIECE));
        if (!wire::Send(fd, piece)) {
            return;
        }
    }
    wire::Writer done(wire::Kind::Done);
    done.U32(static_cast<uint32_t>(result.status)).Bytes(result.message);
    const bool sent = wire::Send(fd, done);
    if (result.stop) {
        // The main thread ends the server as on SIGTERM; the client sees this connection
        // close only once the socket file is gone.
        ::kill(::getpid(), SIGTERM);
        if (sent) {
            AwaitHangUp(fd);
        }
    }
}

}  // namespace

void RunSession(Driver& driver, int fd) {
    std::string body;
    wire::Receiver receiver(fd);
    if (receiver.Next(body)) {
        wire::Reader request(body);
        switch (request.ReadKind()) {
            case wire::Kind::Open:
                ServeOpen(driver, fd, receiver, request);
                break;
            case wire::Kind::Enumerate:
                ServeEnumerate(driver, fd);
                break;
            case wire::Kind::Subscribe:
                ServeSubscription(driver, fd);
                break;
            case wire::Kind::SubscribeDevice:
                ServeDeviceSubscription(driver, fd, receiver, request);
                break;
            case wire::Kind::Control:
                ServeControl(driver, fd, request);
                break;
            default:
                break;
        }
    }
    ::close(fd);
}
