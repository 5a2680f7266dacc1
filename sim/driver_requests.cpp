// The requests that reach the driver through a channel's handle: the open, the three
// control codes (a query and a setting on the configure channel, a read on either log
// channel) and the close. Each is written to the adapter's request record with the error
// it was answered with.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "sim/adapter.h"
#include "sim/driver.h"
#include "sim/driver_abi.h"
#include "sim/driver_state.h"
#include "sim/names.h"
#include "sim/request_lines.h"
#include "sim/sharing.h"

namespace {

constexpr const char* CHANNEL_NAMES[CHANNELS] = {"VekDiagConfigure", "VekDiagTextLog",
                                                 "VekDiagTimingLog"};

void Wait(uint32_t milliseconds) {
    if (milliseconds != 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
}

// The channel a name opens, without regard to case; CHANNELS for none.
int ChannelNamed(const std::string& name) {
    int channel = 0;
    while (channel < CHANNELS && !SameName(name.c_str(), CHANNEL_NAMES[channel])) {
        ++channel;
    }
    return channel;
}

// A slow adapter answers late; the requests waiting meanwhile are counted.
void WaitOutDelay(Adapter& adapter) {
    const uint32_t delay = adapter.delayMs.load();
    if (delay != 0) {
        ++adapter.waiting;
        Wait(delay);
        --adapter.waiting;
    }
}

// The present adapter with this path, under lock, or null. A slow adapter answers late
// and lets everyone else on meanwhile, so it may have gone by then.
Adapter* FindAnswering(DriverState& driver, const std::string& path,
                       std::unique_lock<std::mutex>& lock) {
    Adapter* adapter = driver.FindPresentByPath(path);
    if (adapter != nullptr && adapter->delayMs.load() != 0) {
        lock.unlock();
        WaitOutDelay(*adapter);
        lock.lock();
        adapter = driver.FindPresentByPath(path);
    }
    return adapter;
}

// Sharing is settled before the driver sees the open, as the I/O manager does.
uint32_t OpenError(const Adapter& adapter, int channel, uint32_t access, uint32_t share) {
    const std::vector<Holder>& holders = adapter.holders[channel];
    if (!std::all_of(holders.begin(), holders.end(), [&](const Holder& holder) {
            return OpensCoexist(holder.access, holder.share, access, share);
        })) {
        return drv::ERR_SHARING_VIOLATION;
    }
    return adapter.faults.openRefused[channel] ? drv::ERR_ACCESS_DENIED : drv::ERR_SUCCESS;
}

uint32_t Query(const Adapter& adapter, const OpenChannel& open, std::string_view input,
               uint32_t outCapacity, std::string* output) {
    if (!GrantsRead(open.access)) {
        return drv::ERR_ACCESS_DENIED;
    }
    if (adapter.faults.rejectQuery) {
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
                   adapter.faults.shortReply ? sizeof reply[0] : sizeof reply);
    return drv::ERR_SUCCESS;
}

uint32_t Set(Adapter& adapter, std::string_view input) {
    if (adapter.faults.rejectSet) {
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
    const int log = LogIndex(open.channel == Channel::TextLog ? LogKind::Text : LogKind::Timing);
    AdapterFaults& faults = adapter.faults;
    if (std::exchange(faults.failRead, false)) {
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
    if (std::exchange(faults.overcount, false)) {
        result->overcount = outCapacity + 1 - static_cast<uint32_t>(output.size());
    }
    return std::exchange(faults.partialRead, false) ? drv::ERR_MORE_DATA : drv::ERR_SUCCESS;
}

}  // namespace

const char* ChannelName(Channel channel) {
    return CHANNEL_NAMES[static_cast<int>(channel)];
}

uint32_t Driver::Open(std::string_view path, uint32_t access, uint32_t share, OpenChannel* open) {
    const size_t slash = path.rfind('\\');
    if (slash == std::string_view::npos) {
        return drv::ERR_FILE_NOT_FOUND;
    }
    // Names end at a NUL, as the C strings of CreateFileA do.
    const std::string device(path.substr(0, slash));
    const int channel = ChannelNamed(std::string(path.substr(slash + 1)));
    if (channel == CHANNELS) {
        return drv::ERR_FILE_NOT_FOUND;
    }
    std::unique_lock<std::mutex> lock(state_->mutex);
    Adapter* adapter = FindAnswering(*state_, device, lock);
    if (adapter == nullptr) {
        return drv::ERR_FILE_NOT_FOUND;
    }
    const uint32_t error = OpenError(*adapter, channel, access, share);
    adapter->requests.push_back(OpenLine(CHANNEL_NAMES[channel], access, share, error));
    if (error != drv::ERR_SUCCESS) {
        return error;
    }
    *open = OpenChannel{adapter, static_cast<Channel>(channel), access, state_->nextOpenId++};
    adapter->holders[channel].push_back(Holder{open->id, access, share});
    return drv::ERR_SUCCESS;
}

IoctlResult Driver::Ioctl(const OpenChannel& open, uint32_t code, std::string_view input,
                          uint32_t outCapacity) {
    WaitOutDelay(*open.adapter);
    const std::lock_guard<std::mutex> lock(state_->mutex);
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
    const std::lock_guard<std::mutex> lock(state_->mutex);
    std::vector<Holder>& holders = open.adapter->holders[static_cast<int>(open.channel)];
    holders.erase(std::remove_if(holders.begin(), holders.end(),
                                 [&](const Holder& holder) { return holder.id == open.id; }),
                  holders.end());
    open.adapter->requests.push_back(CloseLine(ChannelName(open.channel)));
}
