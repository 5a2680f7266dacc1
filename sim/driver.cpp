#include "sim/driver.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>

#include "sim/circular_log.h"
#include "sim/driver_abi.h"
#include "sim/log_generators.h"
#include "sim/request_lines.h"
#include "sim/sharing.h"
#include "sim/wire.h"

namespace {

constexpr unsigned kMaxInstances = 10000;  // four decimal digits
constexpr int kChannels = 3;

constexpr const char* kChannelNames[kChannels] = {"VekDiagConfigure", "VekDiagTextLog",
                                                  "VekDiagTimingLog"};

// Object names on Windows compare without regard to case.
bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return lower(x) == lower(y); });
}

struct Holder {
    uint64_t id;
    uint32_t access;
    uint32_t share;
};

// Everything the reads of a log returned, kept in pieces so that it grows without
// copying what it holds.
class History {
public:
    void Append(std::string_view bytes) {
        while (!bytes.empty()) {
            if (pieces_.empty() || pieces_.back().size() == kPiece) {
                pieces_.emplace_back().reserve(kPiece);
            }
            std::string& last = pieces_.back();
            const size_t n = std::min(bytes.size(), kPiece - last.size());
            last.append(bytes.substr(0, n));
            bytes.remove_prefix(n);
        }
    }

    std::string Joined() const {
        std::string joined;
        joined.reserve(pieces_.size() * kPiece);
        for (const std::string& piece : pieces_) {
            joined += piece;
        }
        return joined;
    }

private:
    static constexpr size_t kPiece = 1 << 20;
    std::vector<std::string> pieces_;
};

}  // namespace

struct Adapter {
    Adapter(unsigned instance, const AdapterIdentity& identity, size_t logSize)
        : instance(instance),
          identity(identity),
          path(InterfacePath(instance)),
          logs{CircularLog(logSize), CircularLog(logSize)} {}

    CircularLog& Log(Channel channel) { return logs[channel == Channel::TextLog ? 0 : 1]; }
    History& Served(Channel channel) { return served[channel == Channel::TextLog ? 0 : 1]; }

    const unsigned instance;
    const AdapterIdentity identity;
    const std::string path;
    bool present = true;

    CircularLog logs[2];  // text, timing
    History served[2];
    TextFiller textFiller;
    TimingGenerator timing;

    uint32_t options = 0;
    std::optional<uint32_t> logLevel;
    uint64_t clearCount = 0;
    std::vector<std::string> requests;

    bool openFault[kChannels] = {};
    bool rejectSet = false;
    bool rejectQuery = false;
    bool partialRead = false;

    std::vector<Holder> holders[kChannels];
};

namespace {

uint32_t Query(Adapter& adapter, const OpenChannel& open, std::string_view input,
               uint32_t outCapacity, std::string* output) {
    if (!GrantsRead(open.access)) {
        return drv::kErrorAccessDenied;
    }
    if (adapter.rejectQuery) {
        return drv::kErrorGenFailure;
    }
    if (input.size() != 4) {
        return drv::kErrorInvalidParameter;
    }
    if (outCapacity < drv::kQueryReplySize) {
        return drv::kErrorInsufficientBuffer;
    }
    uint32_t selector = 0;
    std::memcpy(&selector, input.data(), sizeof selector);
    uint32_t reply[3] = {drv::kQueryReplyMarker, 0, 0};
    if (selector == drv::kSelectorAdapterInfo) {
        reply[1] = adapter.identity.index | static_cast<uint32_t>(adapter.identity.type) << 16;
    } else if (selector == drv::kSelectorStreamOptions) {
        reply[1] = adapter.options;
    } else {
        return drv::kErrorInvalidParameter;
    }
    output->assign(reinterpret_cast<const char*>(reply), sizeof reply);
    return drv::kErrorSuccess;
}

uint32_t Set(Adapter& adapter, std::string_view input) {
    if (adapter.rejectSet) {
        return drv::kErrorGenFailure;
    }
    uint32_t words[4] = {};
    if (input.size() != sizeof words) {
        return drv::kErrorInvalidParameter;
    }
    std::memcpy(words, input.data(), sizeof words);
    const uint32_t code = words[0];
    const uint32_t parameter = words[1];
    const uint32_t enable = words[2];
    if (code == drv::kSetLogLevel) {
        adapter.logLevel = parameter;
    } else if (code == drv::kSetStreamOption) {
        const bool oneKnownBit =
            parameter == 1 || parameter == 2 || parameter == 4 || parameter == 8;
        if (!oneKnownBit || enable > 1) {
            return drv::kErrorInvalidParameter;
        }
        adapter.options = enable != 0 ? adapter.options | parameter : adapter.options & ~parameter;
    } else if (code == drv::kSetClearCache) {
        ++adapter.clearCount;
    } else {
        return drv::kErrorInvalidParameter;
    }
    return drv::kErrorSuccess;
}

uint32_t ReadLog(Adapter& adapter, const OpenChannel& open, std::string_view input,
                 uint32_t outCapacity, std::string* output) {
    if (!GrantsRead(open.access)) {
        return drv::kErrorAccessDenied;
    }
    if (!input.empty()) {
        return drv::kErrorInvalidParameter;
    }
    CircularLog& log = adapter.Log(open.channel);
    output->resize(std::min<size_t>(outCapacity, log.size()));
    log.Take(output->data(), output->size());
    adapter.Served(open.channel).Append(*output);
    if (adapter.partialRead) {
        adapter.partialRead = false;
        return drv::kErrorMoreData;
    }
    return drv::kErrorSuccess;
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
        case FaultKind::PartialRead:
            adapter.partialRead = true;
            break;
        case FaultKind::Clear:
            std::fill(std::begin(adapter.openFault), std::end(adapter.openFault), false);
            adapter.rejectSet = adapter.rejectQuery = adapter.partialRead = false;
            break;
    }
}

std::string Line(const std::string& text) {
    return text + "\n";
}

}  // namespace

const char* ChannelName(Channel channel) {
    return kChannelNames[static_cast<int>(channel)];
}

std::string InterfacePath(unsigned instance) {
    const wire::ClassGuid& g = wire::kInterfaceClass;
    char text[96];
    std::snprintf(text, sizeof text,
                  "\\\\?\\ROOT#MEDIA#%04u#{%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}",
                  instance, g.data1, g.data2, g.data3, g.data4[0], g.data4[1], g.data4[2],
                  g.data4[3], g.data4[4], g.data4[5], g.data4[6], g.data4[7]);
    return text;
}

Driver::Driver(const ServeOptions& options) : logSize_(options.logSize) {
    for (const AdapterIdentity& identity : options.adapters) {
        CreateAdapter(identity);
    }
}

Driver::~Driver() = default;

Adapter* Driver::CreateAdapter(const AdapterIdentity& identity) {
    if (nextInstance_ >= kMaxInstances) {
        return nullptr;
    }
    adapters_.push_back(std::make_unique<Adapter>(nextInstance_++, identity, logSize_));
    return adapters_.back().get();
}

Adapter* Driver::FindPresent(uint64_t position) {
    for (const auto& adapter : adapters_) {
        if (adapter->present && position-- == 0) {
            return adapter.get();
        }
    }
    return nullptr;
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
        return drv::kErrorFileNotFound;
    }
    const std::string_view device = path.substr(0, slash);
    const std::string_view name = path.substr(slash + 1);
    int channel = 0;
    while (channel < kChannels && !EqualsIgnoringCase(name, kChannelNames[channel])) {
        ++channel;
    }
    if (channel == kChannels) {
        return drv::kErrorFileNotFound;
    }

    const std::lock_guard<std::mutex> lock(mutex_);
    const auto found = std::find_if(adapters_.begin(), adapters_.end(), [&](const auto& adapter) {
        return adapter->present && EqualsIgnoringCase(device, adapter->path);
    });
    if (found == adapters_.end()) {
        return drv::kErrorFileNotFound;
    }
    Adapter& adapter = **found;
    std::vector<Holder>& holders = adapter.holders[channel];
    uint32_t error = drv::kErrorSuccess;
    // Sharing is settled before the driver sees the open, as the I/O manager does.
    if (!std::all_of(holders.begin(), holders.end(), [&](const Holder& holder) {
            return OpensCoexist(holder.access, holder.share, access, share);
        })) {
        error = drv::kErrorSharingViolation;
    } else if (adapter.openFault[channel]) {
        error = drv::kErrorAccessDenied;
    }
    adapter.requests.push_back(OpenLine(kChannelNames[channel], access, share, error));
    if (error != drv::kErrorSuccess) {
        return error;
    }
    *open = OpenChannel{&adapter, static_cast<Channel>(channel), access, nextOpenId_++};
    holders.push_back(Holder{open->id, access, share});
    return drv::kErrorSuccess;
}

IoctlResult Driver::Ioctl(const OpenChannel& open, uint32_t code, std::string_view input,
                          uint32_t outCapacity) {
    const std::lock_guard<std::mutex> lock(mutex_);
    Adapter& adapter = *open.adapter;
    IoctlResult result;
    const bool configure = open.channel == Channel::Configure;
    if (!adapter.present) {
        result.error = drv::kErrorDeviceRemoved;
    } else if (configure && code == drv::kIoctlQuery) {
        result.error = Query(adapter, open, input, outCapacity, &result.output);
    } else if (configure && code == drv::kIoctlSet) {
        result.error = Set(adapter, input);
    } else if (!configure && code == drv::kIoctlReadLog) {
        result.error = ReadLog(adapter, open, input, outCapacity, &result.output);
    } else {
        result.error = drv::kErrorInvalidFunction;
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

std::vector<InterfaceEntry> Driver::Interfaces() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    std::vector<InterfaceEntry> entries;
    entries.reserve(adapters_.size());
    for (const auto& adapter : adapters_) {
        entries.push_back(InterfaceEntry{adapter->path, adapter->present});
    }
    return entries;
}

void Driver::Subscribe(EventSink* sink) {
    const std::lock_guard<std::mutex> lock(mutex_);
    sinks_.push_back(sink);
}

void Driver::Unsubscribe(EventSink* sink) {
    const std::lock_guard<std::mutex> lock(mutex_);
    sinks_.erase(std::remove(sinks_.begin(), sinks_.end(), sink), sinks_.end());
}

ControlResult Driver::Execute(const ControlCommand& command) {
    const std::lock_guard<std::mutex> lock(mutex_);
    ControlResult result;
    if (command.verb == Verb::Stop) {
        result.stop = true;
        return result;
    }
    if (command.verb == Verb::Add) {
        const Adapter* adapter = CreateAdapter(command.identity);
        if (adapter == nullptr) {
            result.status = 1;
            result.message = "no instance numbers left";
            return result;
        }
        Notify(wire::kActionArrival, adapter->path);
        result.output = Line(adapter->path);
        return result;
    }
    Adapter* adapter = FindPresent(command.adapter);
    if (adapter == nullptr) {
        result.status = 1;
        const auto present = std::count_if(adapters_.begin(), adapters_.end(),
                                           [](const auto& a) { return a->present; });
        result.message = "no adapter " + std::to_string(command.adapter) + " (" +
                         std::to_string(present) + " present)";
        return result;
    }
    CircularLog& text = adapter->logs[0];
    CircularLog& timing = adapter->logs[1];
    switch (command.verb) {
        case Verb::Remove:
            adapter->present = false;
            Notify(wire::kActionRemoval, adapter->path);
            break;
        case Verb::Text:
            text.Append(command.text);
            break;
        case Verb::Timing:
            adapter->timing.Records(command.count, command.corrupt,
                                    [&](std::string_view bytes) { timing.Append(bytes); });
            break;
        case Verb::Fill:
            if (command.log == LogKind::Text) {
                adapter->textFiller.Fill(command.count,
                                         [&](std::string_view bytes) { text.Append(bytes); });
            } else {
                adapter->timing.Fill(command.count,
                                     [&](std::string_view bytes) { timing.Append(bytes); });
            }
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
        case Verb::Served:
            result.output = adapter->served[command.log == LogKind::Text ? 0 : 1].Joined();
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
        case Verb::Stop:
            break;
    }
    return result;
}
