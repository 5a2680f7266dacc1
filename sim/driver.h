// The simulated driver: its adapters, their channels, logs, options and faults, the
// record of every request each adapter received and of every read it answered, and the
// writers that log into it on their own. Thread-safe; every call is one step under the
// driver's lock, except for the waits of a slow adapter and the writers' steps.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sim/command_syntax.h"
#include "sim/log_generators.h"

enum class Channel { Configure = 0, TextLog = 1, TimingLog = 2 };

const char* ChannelName(Channel channel);

struct InterfaceEvent {
    uint32_t action;  // wire::ACTION_ARRIVAL or wire::ACTION_REMOVAL
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
    // Bytes the driver reports beyond the output: a driver that miscounts.
    uint32_t overcount = 0;
};

struct ControlResult {
    int status = 0;
    std::string output;   // for standard output
    std::string message;  // for standard error
    bool stop = false;
};

class StreamWriter;

class Driver {
public:
    // The served records go to recordFolder (ServedFolder of the root), which exists;
    // instance numbers go on after the highest one recorded there.
    Driver(const ServeOptions& options, std::filesystem::path recordFolder);
    ~Driver();
    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;

    // 0 and *open filled, or the Win32 error.
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

    ControlResult Execute(const ControlCommand& command);
    // Ends every stream writer.
    void StopStreams();

private:
    Adapter* CreateAdapter(const AdapterIdentity& identity, const std::string& path);
    Adapter* FindPresent(uint64_t position);
    Adapter* FindPresentByPath(const std::string& path);
    std::string NoAdapter(uint64_t position) const;
    void Notify(uint32_t action, const std::string& path);
    ControlResult ExecuteLocked(const ControlCommand& command, const std::string& rawBytes);
    ControlResult RunStream(const ControlCommand& command);
    ControlResult ReadServed(const ControlCommand& command);
    bool StreamStep(Adapter& adapter, LogKind log, uint64_t corruptEvery, size_t bytes);
    // The present adapter at a position, found under the lock; null, and the result
    // saying so, when there is none. Adapters live as long as the driver.
    Adapter* LookUp(uint64_t position, ControlResult* result);
    // fill and timing: the bytes are made outside the driver's lock.
    ControlResult Generate(const ControlCommand& command);
    // Appends what generate makes to one log, a piece at a time under the driver's lock,
    // so that reads go on meanwhile; false when the adapter is gone.
    bool AppendGenerated(Adapter& adapter, LogKind log,
                         const std::function<void(const ByteSink&)>& generate);

    mutable std::mutex mutex_;
    std::vector<std::unique_ptr<Adapter>> adapters_;
    std::vector<EventSink*> sinks_;
    bool failEnumeration_ = false;
    bool refuseRegistration_ = false;
    const size_t logSize_;
    const std::filesystem::path recordFolder_;
    unsigned nextInstance_ = 0;
    uint64_t nextOpenId_ = 1;

    // Taken without mutex_ held, so that stopping a writer never waits for its own step.
    std::mutex streamsMutex_;
    std::map<std::pair<const Adapter*, LogKind>, std::unique_ptr<StreamWriter>> streams_;
};

// `\\?\ROOT#MEDIA#0007#{7f95af7c-...}` for instance 7.
std::string InterfacePath(unsigned instance);
