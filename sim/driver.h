// The simulated driver: its adapters, their channels, logs, options and faults, the
// record of every request each adapter received and of every read it answered, and the
// writers that log into it on their own. Thread-safe; every call is one step under the
// driver's lock, except for the waits of a slow adapter and the writers' steps.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/command_syntax.h"

enum class Channel { Configure = 0, TextLog = 1, TimingLog = 2 };

const char* ChannelName(Channel channel);

struct InterfaceEvent {
    uint32_t action;  // wire::ACTION_...
    std::string path;
    uint32_t query = 0;  // for ACTION_QUERY_REMOVE: the number its answer gives
};

// Gets arrivals and removals, or one adapter's notifications; called with the driver
// locked, so it must not block nor call back into the driver.
class EventSink {
public:
    virtual ~EventSink() = default;
    virtual void Post(const InterfaceEvent& event) = 0;
};

// A program registered for one adapter's notifications, which answers the query before a
// removal that asks first.
class DeviceSink : public EventSink {
public:
    // The answer to the query (0 lets the removal go ahead), or none when it did not come
    // by the deadline. A registrant that went away answers 0: it holds nothing open.
    // Called without the driver's lock.
    virtual std::optional<uint32_t> AwaitAnswer(uint32_t query,
                                                std::chrono::steady_clock::time_point deadline) = 0;
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
    // Bytes the driver reports beyond the output: a driver that miscounts.
    uint32_t overcount = 0;
};

struct ControlResult {
    int status = 0;
    std::string output;   // for standard output
    std::string message;  // for standard error
    bool stop = false;
};

struct DriverState;

class Driver {
public:
    // The served records go to recordFolder (ServedFolder of the root), which exists;
    // instance numbers go on after the highest one recorded there.
    Driver(const ServeOptions& options, std::filesystem::path recordFolder);
    ~Driver();
    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;

    // The requests of a channel's handle (driver_requests.cpp). Open: 0 and *open filled,
    // or the Win32 error.
    uint32_t Open(std::string_view path, uint32_t access, uint32_t share, OpenChannel* open);
    IoctlResult Ioctl(const OpenChannel& open, uint32_t code, std::string_view input,
                      uint32_t outCapacity);
    void Close(const OpenChannel& open);

    // 0 and every interface of the server's life in creation order, or the Win32 error
    // that listing them fails with.
    uint32_t Interfaces(std::vector<InterfaceEntry>* entries) const;

    // False, and not subscribed, while registrations are refused.
    bool Subscribe(EventSink* sink);
    void Unsubscribe(EventSink* sink);
    // Subscribes sink to the notifications of the present adapter with this interface
    // path: wire::SUBSCRIPTION_LIVE, or why not (SUBSCRIPTION_REFUSED while registrations
    // are refused, SUBSCRIPTION_NO_DEVICE). The subscription outlives the adapter's
    // removal, and goes on when a restart brings it back.
    uint32_t SubscribeDevice(std::string_view path, const std::shared_ptr<DeviceSink>& sink);
    void UnsubscribeDevice(const DeviceSink* sink);

    // A control command of vekdiag-sim (control_commands.cpp).
    ControlResult Execute(const ControlCommand& command);
    // Ends every stream writer.
    void StopStreams();

private:
    const std::unique_ptr<DriverState> state_;
};

// `\\?\ROOT#MEDIA#0007#{7f95af7c-...}` for instance 7.
std::string InterfacePath(unsigned instance);
