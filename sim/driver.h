// The simulated driver: its adapters, their channels, logs, options and faults, and the
// record of every request each adapter received. Thread-safe; every call is one step
// under the driver's lock.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "sim/command_syntax.h"

enum class Channel { Configure = 0, TextLog = 1, TimingLog = 2 };

const char* ChannelName(Channel channel);

struct InterfaceEvent {
    uint32_t action;  // wire::kActionArrival or wire::kActionRemoval
    std::string path;
};

// Gets arrivals and removals; called with the driver locked, so it must not block nor
// call back into the driver.
class EventSink {
public:
    virtual ~EventSink() = default;
    virtual void Post(const InterfaceEvent& event) = 0;
};

struct InterfaceEntry {
    std::string path;
    bool present;
};

struct Adapter;

// One successful open of a channel, until CloseChannel.
struct OpenChannel {
    Adapter* adapter = nullptr;
    Channel channel = Channel::Configure;
    uint32_t access = 0;
    uint64_t id = 0;
};

struct IoctlResult {
    uint32_t error = 0;
    std::string output;  // also on failure, when the request moved data (ERROR_MORE_DATA)
};

struct ControlResult {
    int status = 0;
    std::string output;   // for standard output
    std::string message;  // for standard error
    bool stop = false;
};

class Driver {
public:
    explicit Driver(const ServeOptions& options);
    ~Driver();
    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;

    // 0 and *open filled, or the Win32 error.
    uint32_t Open(std::string_view path, uint32_t access, uint32_t share, OpenChannel* open);
    IoctlResult Ioctl(const OpenChannel& open, uint32_t code, std::string_view input,
                      uint32_t outCapacity);
    void Close(const OpenChannel& open);

    // Every interface of the server's life, in creation order.
    std::vector<InterfaceEntry> Interfaces() const;

    void Subscribe(EventSink* sink);
    void Unsubscribe(EventSink* sink);

    ControlResult Execute(const ControlCommand& command);

private:
    Adapter* CreateAdapter(const AdapterIdentity& identity);
    Adapter* FindPresent(uint64_t position);
    void Notify(uint32_t action, const std::string& path);

    mutable std::mutex mutex_;
    std::vector<std::unique_ptr<Adapter>> adapters_;
    std::vector<EventSink*> sinks_;
    size_t logSize_;
    unsigned nextInstance_ = 0;
    uint64_t nextOpenId_ = 1;
};

// `\\?\ROOT#MEDIA#0007#{7f95af7c-...}` for instance 7.
std::string InterfacePath(unsigned instance);
