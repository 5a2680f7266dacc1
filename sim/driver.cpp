#include "sim/driver.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <thread>

#include "cli/ascii.h"
#include "sim/circular_log.h"
#include "sim/driver_abi.h"
#include "sim/log_generators.h"
#include "sim/read_sizer.h"
#include "sim/request_lines.h"
#include "sim/served_record.h"
#include "sim/sharing.h"
#include "sim/stream_writer.h"
#include "sim/wire.h"

namespace {

constexpr unsigned MAX_INSTANCES = 10000;  // four decimal digits
constexpr int CHANNELS = 3;

constexpr const char* CHANNEL_NAMES[CHANNELS] = {"VekDiagConfigure", "VekDiagTextLog",
                                                 "VekDiagTimingLog"};

struct Holder {
    uint64_t id;
    uint32_t access;
    uint32_t share;
};

int LogIndex(LogKind log) {
    return log == LogKind::Text ? 0 : 1;
}

LogKind LogOf(Channel channel) {
    return channel == Channel::TextLog ? LogKind::Text : LogKind::Timing;
}

void Wait(uint32_t milliseconds) {
    if (milliseconds != 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
}

// The bytes of a file for `raw --file`, at most MAX_FILL_BYTES; empty message on success.
std::string ReadRawFile(const std::string& path, std::string* bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return "cannot read " + path + ": " + std::strerror(errno);
    }
    std::error_code error;
    const uintmax_t size = std::filesystem::file_size(path, error);
    if (error || size > MAX_FILL_BYTES) {
        return "cannot read " + path + ": " + (error ? error.message() : "larger than 1 GiB");
    }
    std::ostringstream all;
    all << in.rdbuf();
    *bytes = all.str();
    return {};
}

}  // namespace

struct Adapter {
    Adapter(unsigned instance, const AdapterIdentity& identity, std::string path, size_t logSize)
        : instance(instance),
          identity(identity),
          path(std::move(path)),
          logs{CircularLog(logSize), CircularLog(logSize)} {}

    const unsigned instance;
    const AdapterIdentity identity;
    const std::string path;
    bool present = true;

    // Per log: text, timing.
    CircularLog logs[2];
    ServedRecord served[2];
    ReadSizer readSizes[2];
    TextFiller textFiller;
    TimingGenerator timing;
    // Per log: held while bytes are generated for it, outside the driver's lock, so that
    // its pieces reach the log in the order they were made.
    std::mutex generating[2];

    uint32_t options = 0;
    std::optional<uint32_t> logLevel;
    uint64_t clearCount = 0;
    std::vector<std::string> requests;

    bool openFault[CHANNELS] = {};
    bool rejectSet = false;
    bool rejectQuery = false;
    bool shortReply = false;  // query replies of one word, the marker only
    bool partialRead = false;
    bool failRead = false;
    bool overcount = false;
    // Read without the driver's lock: a slow adapter waits before it takes it.
    std::atomic<uint32_t> delayMs{0};

    std::vector<Holder> holders[CHANNELS];
};

namespace {

uint32_t Query(Adapter& adapter, const OpenChannel& open, std::string_view input,
               uint32_t outCapacity, std::string* output) {
    if (!GrantsRead(open.access)) {
        return drv::ERR_ACCESS_DENIED;
    }
    if (adapter.rejectQuery) {
        return drv::ERR_GEN_FAILURE;
    }
    if (input.size() != 4) {
        return drv::ERR_INVALID_PARAMETER;
    }
    if (outCapacity < drv::QUERY_REPLY_SIZE) {
        return drv::ERR_INSUFFICIENT_BUFFER;
    }
    uint32_t selector = 0;
    std::memcpy(&selector, input.data(), sizeof selector);
    uint32_t reply[3] = {drv::QUERY_REPLY_MARKER, 0, 0};
    if (selector == drv::SELECTOR_ADAPTER_INFO) {
        reply[1] = adapter.identity.index | static_cast<uint32_t>(adapter.identity.type) << 16;
    } else if (selector == drv::SELECTOR_STREAM_OPTIONS) {
        reply[1] = adapter.options;
    } else {
        return drv::ERR_INVALID_PARAMETER;
    }
    output->assign(reinterpret_cast<const char*>(reply),
                   adapter.shortReply ? sizeof reply[0] : sizeof reply);
    return drv::ERR_SUCCESS;
}

uint32_t Set(Adapter& adapter, std::string_view input) {
    if (adapter.rejectSet) {
        return drv::ERR_GEN_FAILURE;
    }
    uint32_t words[4] = {};
    if (input.size() != sizeof words) {
        return drv::ERR_INVALID_PARAMETER;
    }
    std::memcpy(words, input.data(), sizeof words);
    const uint32_t code = words[0];
    const uint32_t parameter = words[1];
    const uint32_t enable = words[2];
    if (code == drv::SET_LOG_LEVEL) {
        adapter.logLevel = parameter;
    } else if (code == drv::SET_STREAM_OPTION) {
        const bool oneKnownBit =
            parameter == 1 || parameter == 2 || parameter == 4 || parameter == 8;
        if (!oneKnownBit || enable > 1) {
            return drv::ERR_INVALID_PARAMETER;
        }
        adapter.options = enable != 0 ? adapter.options | parameter : adapter.options & ~parameter;
    } else if (code == drv::SET_CLEAR_CACHE) {
        ++adapter.clearCount;
    } else {
        return drv::ERR_INVALID_PARAMETER;
    }
    return drv::ERR_SUCCESS;
}

uint32_t ReadLog(Adapter& adapter, const OpenChannel& open, std::string_view input,
                 uint32_t outCapacity, IoctlResult* result) {
    if (!GrantsRead(open.access)) {
        return drv::ERR_ACCESS_DENIED;
    }
    if (!input.empty()) {
        return drv::ERR_INVALID_PARAMETER;
    }
    const int log = LogIndex(LogOf(open.channel));
    if (adapter.failRead) {
        adapter.failRead = false;
        adapter.served[log].Append({});
        return drv::ERR_GEN_FAILURE;
    }
    CircularLog& source = adapter.logs[log];
    const size_t limit = std::min(adapter.readSizes[log].Next(), source.size());
    std::string& output = result->output;
    output.resize(std::min<size_t>(outCapacity, limit));
    source.Take(output.data(), output.size());
    // On record before the answer leaves, so that the record has it whatever happens next.
    adapter.served[log].Append(output);
    if (adapter.overcount) {
        adapter.overcount = false;
        result->overcount = outCapacity + 1 - static_cast<uint32_t>(output.size());
    }
    if (adapter.partialRead) {
        adapter.partialRead = false;
        return drv::ERR_MORE_DATA;
    }
    return drv::ERR_SUCCESS;
}

void ApplyFault(Adapter& adapter, FaultKind fault) {
    switch (fault) {
        case FaultKind::OpenConfigure:
            adapter.openFault[static_cast<int>(Channel::Configure)] = true;
            break;
        case FaultKind::OpenText:
            adapter.openFault[static_cast<int>(Channel::TextLog)] = true;
            break;
        case FaultKind::OpenTiming:
            adapter.openFault[static_cast<int>(Channel::TimingLog)] = true;
            break;
        case FaultKind::RejectSet:
            adapter.rejectSet = true;
            break;
        case FaultKind::RejectQuery:
            adapter.rejectQuery = true;
            break;
        case FaultKind::ShortReply:
            adapter.shortReply = true;
            break;
        case FaultKind::PartialRead:
            adapter.partialRead = true;
            break;
        case FaultKind::FailRead:
            adapter.failRead = true;
            break;
        case FaultKind::Overcount:
            adapter.overcount = true;
            break;
        case FaultKind::Clear:
            std::fill(std::begin(adapter.openFault), std::end(adapter.openFault), false);
            adapter.rejectSet = adapter.rejectQuery = adapter.shortReply = adapter.partialRead =
                false;
            adapter.failRead = adapter.overcount = false;
            break;
    }
}

std::string Line(const std::string& text) {
    return text + "\n";
}

}  // namespace

const char* ChannelName(Channel channel) {
    return CHANNEL_NAMES[static_cast<int>(channel)];
}

std::string InterfacePath(unsigned instance) {
    const drv::ClassGuid& g = drv::INTERFACE_CLASS;
    char text[96];
    std::snprintf(text, sizeof text,
                  "\\\\?\\ROOT#MEDIA#%04u#{%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}",
                  instance, g.data1, g.data2, g.data3, g.data4[0], g.data4[1], g.data4[2],
                  g.data4[3], g.data4[4], g.data4[5], g.data4[6], g.data4[7]);
    return text;
}

Driver::Driver(const ServeOptions& options, std::filesystem::path recordFolder)
    : logSize_(options.logSize),
      recordFolder_(std::move(recordFolder)),
      nextInstance_(NextFreeInstance(recordFolder_)) {
    for (const AdapterIdentity& identity : options.adapters) {
        CreateAdapter(identity, "");
    }
}

Driver::~Driver() {
    StopStreams();  // before the adapters they write to go
}

Adapter* Driver::CreateAdapter(const AdapterIdentity& identity, const std::string& path) {
    if (nextInstance_ >= MAX_INSTANCES) {
        return nullptr;
    }
    const unsigned instance = nextInstance_++;
    adapters_.push_back(std::make_unique<Adapter>(
        instance, identity, path.empty() ? InterfacePath(instance) : path, logSize_));
    Adapter* adapter = adapters_.back().get();
    adapter->served[0].Create(recordFolder_, instance, LogKind::Text);
    adapter->served[1].Create(recordFolder_, instance, LogKind::Timing);
    return adapter;
}

Adapter* Driver::FindPresent(uint64_t position) {
    for (const auto& adapter : adapters_) {
        if (adapter->present && position-- == 0) {
            return adapter.get();
        }
    }
    return nullptr;
}

// Object names on Windows compare without regard to case.
Adapter* Driver::FindPresentByPath(const std::string& path) {
    for (const auto& adapter : adapters_) {
        if (adapter->present && EqualsIgnoreCase(path.c_str(), adapter->path.c_str())) {
            return adapter.get();
        }
    }
    return nullptr;
}

std::string Driver::NoAdapter(uint64_t position) const {
    const auto present =
        std::count_if(adapters_.begin(), adapters_.end(), [](const auto& a) { return a->present; });
    return "no adapter " + std::to_string(position) + " (" + std::to_string(present) + " present)";
}

void Driver::Notify(uint32_t action, const std::string& path) {
    const InterfaceEvent event{action, path};
    for (EventSink* sink : sinks_) {
        sink->Post(event);
    }
}

uint32_t Driver::Open(std::string_view path, uint32_t access, uint32_t share, OpenChannel* open) {
    const size_t slash = path.rfind('\\');
    if (slash == std::string_view::npos) {
        return drv::ERR_FILE_NOT_FOUND;
    }
    // Names end at a NUL, as the C strings of CreateFileA do.
    const std::string device(path.substr(0, slash));
    const std::string name(path.substr(slash + 1));
    int channel = 0;
    while (channel < CHANNELS && !EqualsIgnoreCase(name.c_str(), CHANNEL_NAMES[channel])) {
        ++channel;
    }
    if (channel == CHANNELS) {
        return drv::ERR_FILE_NOT_FOUND;
    }

    std::unique_lock<std::mutex> lock(mutex_);
    Adapter* adapter = FindPresentByPath(device);
    if (adapter != nullptr && adapter->delayMs.load() != 0) {
        // A slow adapter answers late, and lets everyone else on meanwhile.
        const uint32_t delay = adapter->delayMs.load();
        lock.unlock();
        Wait(delay);
        lock.lock();
        adapter = FindPresentByPath(device);
    }
    if (adapter == nullptr) {
        return drv::ERR_FILE_NOT_FOUND;
    }
    std::vector<Holder>& holders = adapter->holders[channel];
    uint32_t error = drv::ERR_SUCCESS;
    // Sharing is settled before the driver sees the open, as the I/O manager does.
    if (!std::all_of(holders.begin(), holders.end(), [&](const Holder& holder) {
            return OpensCoexist(holder.access, holder.share, access, share);
        })) {
        error = drv::ERR_SHARING_VIOLATION;
    } else if (adapter->openFault[channel]) {
        error = drv::ERR_ACCESS_DENIED;
    }
    adapter->requests.push_back(OpenLine(CHANNEL_NAMES[channel], access, share, error));
    if (error != drv::ERR_SUCCESS) {
        return error;
    }
    *open = OpenChannel{adapter, static_cast<Channel>(channel), access, nextOpenId_++};
    holders.push_back(Holder{open->id, access, share});
    return drv::ERR_SUCCESS;
}

IoctlResult Driver::Ioctl(const OpenChannel& open, uint32_t code, std::string_view input,
                          uint32_t outCapacity) {
    Wait(open.adapter->delayMs.load());
    const std::lock_guard<std::mutex> lock(mutex_);
    Adapter& adapter = *open.adapter;
    IoctlResult result;
    const bool configure = open.channel == Channel::Configure;
    if (!adapter.present) {
        result.error = drv::ERR_DEVICE_REMOVED;
    } else if (configure && code == drv::IOCTL_QUERY) {
        result.error = Query(adapter, open, input, outCapacity, &result.output);
    } else if (configure && code == drv::IOCTL_SET) {
        result.error = Set(adapter, input);
    } else if (!configure && code == drv::IOCTL_READ_LOG) {
        result.error = ReadLog(adapter, open, input, outCapacity, &result);
    } else {
        result.error = drv::ERR_INVALID_FUNCTION;
    }
    adapter.requests.push_back(IoctlLine(code, input, outCapacity, result.error));
    return result;
}

void Driver::Close(const OpenChannel& open) {
    const std::lock_guard<std::mutex> lock(mutex_);
    std::vector<Holder>& holders = open.adapter->holders[static_cast<int>(open.channel)];
    holders.erase(std::remove_if(holders.begin(), holders.end(),
                                 [&](const Holder& holder) { return holder.id == open.id; }),
                  holders.end());
    open.adapter->requests.push_back(CloseLine(ChannelName(open.channel)));
}

uint32_t Driver::Interfaces(std::vector<InterfaceEntry>* entries) const {
    const std::lock_guard<std::mutex> lock(mutex_);
    entries->clear();
    if (failEnumeration_) {
        return drv::ERR_GEN_FAILURE;
    }
    entries->reserve(adapters_.size());
    for (const auto& adapter : adapters_) {
        entries->push_back(InterfaceEntry{adapter->path, adapter->present});
    }
    return drv::ERR_SUCCESS;
}

bool Driver::Subscribe(EventSink* sink) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (refuseRegistration_) {
        return false;
    }
    sinks_.push_back(sink);
    return true;
}

void Driver::Unsubscribe(EventSink* sink) {
    const std::lock_guard<std::mutex> lock(mutex_);
    sinks_.erase(std::remove(sinks_.begin(), sinks_.end(), sink), sinks_.end());
}

ControlResult Driver::Execute(const ControlCommand& command) {
    if (command.verb == Verb::Stream) {
        return RunStream(command);
    }
    if (command.verb == Verb::Served) {
        return ReadServed(command);
    }
    std::string rawBytes;
    if (command.verb == Verb::Raw && !command.file.empty()) {
        ControlResult result;
        result.message = ReadRawFile(command.file, &rawBytes);  // before the lock: it may be big
        if (!result.message.empty()) {
            result.status = 1;
            return result;
        }
    }
    if (command.verb == Verb::Timing || command.verb == Verb::Fill) {
        return Generate(command);
    }
    const std::lock_guard<std::mutex> lock(mutex_);
    return ExecuteLocked(command, command.file.empty() ? command.text : rawBytes);
}

Adapter* Driver::LookUp(uint64_t position, ControlResult* result) {
    const std::lock_guard<std::mutex> lock(mutex_);
    Adapter* adapter = FindPresent(position);
    if (adapter == nullptr) {
        result->status = 1;
        result->message = NoAdapter(position);
    }
    return adapter;
}

ControlResult Driver::Generate(const ControlCommand& command) {
    ControlResult result;
    Adapter* adapter = LookUp(command.adapter, &result);
    if (adapter == nullptr) {
        return result;
    }
    const LogKind log = command.verb == Verb::Timing ? LogKind::Timing : command.log;
    AppendGenerated(*adapter, log, [&](const ByteSink& sink) {
        if (command.verb == Verb::Timing) {
            adapter->timing.Records(command.count, command.corrupt, sink);
        } else if (log == LogKind::Text) {
            adapter->textFiller.Fill(command.count, sink);
        } else {
            adapter->timing.Fill(command.count, sink);
        }
    });
    return result;
}

bool Driver::AppendGenerated(Adapter& adapter, LogKind log,
                             const std::function<void(const ByteSink&)>& generate) {
    constexpr size_t PIECE = size_t{1} << 20;
    const std::lock_guard<std::mutex> generating(adapter.generating[LogIndex(log)]);
    std::string pending;
    bool present = true;
    const auto flush = [&] {
        const std::lock_guard<std::mutex> lock(mutex_);
        present = present && adapter.present;
        if (present) {
            adapter.logs[LogIndex(log)].Append(pending);
        }
        pending.clear();
    };
    generate([&](std::string_view bytes) {
        pending.append(bytes);
        if (pending.size() >= PIECE) {
            flush();
        }
    });
    flush();
    return present;
}

ControlResult Driver::ExecuteLocked(const ControlCommand& command, const std::string& rawBytes) {
    ControlResult result;
    if (command.verb == Verb::Stop) {
        result.stop = true;
        return result;
    }
    if (command.verb == Verb::Subscribers) {
        result.output = Line(std::to_string(sinks_.size()));
        return result;
    }
    if (command.verb == Verb::Pnp) {
        switch (command.pnp) {
            case PnpFault::FailEnumeration:
                failEnumeration_ = true;
                break;
            case PnpFault::RefuseRegistration:
                refuseRegistration_ = true;
                break;
            case PnpFault::Clear:
                failEnumeration_ = refuseRegistration_ = false;
                break;
        }
        return result;
    }
    if (command.verb == Verb::Add) {
        if (!command.text.empty() && FindPresentByPath(command.text) != nullptr) {
            result.status = 1;
            result.message = "an adapter with that path is present";
            return result;
        }
        const Adapter* adapter = CreateAdapter(command.identity, command.text);
        if (adapter == nullptr) {
            result.status = 1;
            result.message = "no instance numbers left";
            return result;
        }
        Notify(wire::ACTION_ARRIVAL, adapter->path);
        result.output = Line(adapter->path);
        return result;
    }
    Adapter* adapter = FindPresent(command.adapter);
    if (adapter == nullptr) {
        result.status = 1;
        result.message = NoAdapter(command.adapter);
        return result;
    }
    CircularLog& text = adapter->logs[0];
    switch (command.verb) {
        case Verb::Remove:
            adapter->present = false;
            adapter->served[0].Close();
            adapter->served[1].Close();
            Notify(wire::ACTION_REMOVAL, adapter->path);
            break;
        case Verb::Text:
            text.Append(command.text);
            break;
        case Verb::Raw:
            adapter->logs[LogIndex(command.log)].Append(rawBytes);
            break;
        case Verb::ReadSize:
            for (ReadSizer& sizer : adapter->readSizes) {
                sizer.Set(command.readSize, command.count);
            }
            break;
        case Verb::Delay:
            adapter->delayMs.store(static_cast<uint32_t>(command.count));
            break;
        case Verb::Options:
            result.output = Line(std::to_string(adapter->options));
            break;
        case Verb::LogLevel:
            result.output = Line(adapter->logLevel ? std::to_string(*adapter->logLevel) : "none");
            break;
        case Verb::ClearCount:
            result.output = Line(std::to_string(adapter->clearCount));
            break;
        case Verb::Instance:
            result.output = Line(std::to_string(adapter->instance));
            break;
        case Verb::Requests:
            for (const std::string& request : adapter->requests) {
                result.output += Line(request);
            }
            break;
        case Verb::Fault:
            ApplyFault(*adapter, command.fault);
            break;
        case Verb::Add:
        case Verb::Timing:  // generated outside the lock, by Generate
        case Verb::Fill:
        case Verb::Stream:
        case Verb::Served:
        case Verb::Subscribers:
        case Verb::Pnp:
        case Verb::Stop:
            break;
    }
    return result;
}

ControlResult Driver::ReadServed(const ControlCommand& command) {
    ControlResult result;
    std::filesystem::path folder = recordFolder_;
    auto instance = static_cast<unsigned>(command.adapter);
    if (command.recordRoot.empty()) {
        const std::lock_guard<std::mutex> lock(mutex_);
        const Adapter* adapter = FindPresent(command.adapter);
        if (adapter == nullptr) {
            result.status = 1;
            result.message = NoAdapter(command.adapter);
            return result;
        }
        instance = adapter->instance;
    } else {
        folder = ServedFolder(command.recordRoot);
    }
    bool found = false;
    if (command.blocks) {
        std::vector<uint64_t> lengths;
        found = ReadServedBlocks(folder, instance, command.log, &lengths);
        for (const uint64_t length : lengths) {
            result.output += Line(std::to_string(length));
        }
    } else {
        found = ReadServedBytes(folder, instance, command.log, &result.output);
    }
    if (!found) {
        result.status = 1;
        result.message =
            "no record of instance " + std::to_string(instance) + " in " + folder.string();
    }
    return result;
}

bool Driver::StreamStep(Adapter& adapter, LogKind log, uint64_t corruptEvery, size_t bytes) {
    return AppendGenerated(adapter, log, [&](const ByteSink& sink) {
        if (log == LogKind::Text) {
            adapter.textFiller.Fill(bytes, sink);
        } else {
            adapter.timing.Fill(bytes, sink, corruptEvery);
        }
    });
}

ControlResult Driver::RunStream(const ControlCommand& command) {
    ControlResult result;
    Adapter* adapter = LookUp(command.adapter, &result);
    if (adapter == nullptr) {
        return result;
    }
    const std::lock_guard<std::mutex> lock(streamsMutex_);
    std::unique_ptr<StreamWriter>& writer = streams_[{adapter, command.log}];
    if (command.stop) {
        if (writer == nullptr) {
            result.status = 1;
            result.message = "no stream on that log";
            return result;
        }
        result.output = Line(std::to_string(writer->Stop()));  // the bytes it wrote
        writer.reset();
        return result;
    }
    writer.reset();  // a new rate replaces the running stream
    const LogKind log = command.log;
    const uint64_t corruptEvery = command.corrupt;
    writer = std::make_unique<StreamWriter>(
        command.count, command.seconds, [this, adapter, log, corruptEvery](size_t bytes) {
            return StreamStep(*adapter, log, corruptEvery, bytes);
        });
    return result;
}

void Driver::StopStreams() {
    const std::lock_guard<std::mutex> lock(streamsMutex_);
    streams_.clear();
}
