// One simulated adapter: its identity and path, its two logs and the record of every read
// of them, what the program set, the faults it plays, the opens of its channels and the
// record of every request it received. Guarded by the driver's lock unless said otherwise.
// Adapters live as long as the driver: one that went away stays, no longer present.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "sim/circular_log.h"
#include "sim/command_syntax.h"
#include "sim/driver.h"
#include "sim/log_generators.h"
#include "sim/read_sizer.h"
#include "sim/served_record.h"

inline constexpr int CHANNELS = 3;

// The index of a log in the adapter's per-log members: text, then timing.
inline int LogIndex(LogKind log) {
    return log == LogKind::Text ? 0 : 1;
}

// An open of a channel not yet closed: later opens of the channel must share with it.
struct Holder {
    uint64_t id;
    uint32_t access;
    uint32_t share;
};

// What `fault N KIND` set; `fault N clear` resets them all.
struct AdapterFaults {
    bool openRefused[CHANNELS] = {};
    bool rejectSet = false;
    bool rejectQuery = false;
    bool shortReply = false;  // query replies of one word, the marker only
    // Once each: the next read.
    bool partialRead = false;
    bool failRead = false;
    bool overcount = false;
};

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

    // Per log (LogIndex).
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

    AdapterFaults faults;
    // Read without the driver's lock: a slow adapter waits before it takes it.
    std::atomic<uint32_t> delayMs{0};
    // Requests that wait out the delay at this moment: one in flight, for a test to see.
    std::atomic<uint32_t> waiting{0};

    std::vector<Holder> holders[CHANNELS];
    // The opens of `hold`, which play another program's handles: channel and open id.
    std::vector<std::pair<Channel, uint64_t>> simulatorHolds;

    // The programs registered for this adapter's notifications.
    std::vector<std::shared_ptr<DeviceSink>> registrants;
    // A removal that asks first is asking its registrants now.
    bool removalQueried = false;
};
