// The control commands of vekdiag-sim, which play what the driver and the plug-and-play
// side do on their own: adapters arrive and go, faults and delays, and what the program
// set, read back. One handler for each verb, in one table.
#include <cstddef>
#include <iterator>
#include <mutex>

#include "sim/control_handlers.h"
#include "sim/served_record.h"
#include "sim/wire.h"

namespace {

ControlResult AddAdapter(DriverState& driver, const ControlCommand& command) {
    const std::lock_guard<std::mutex> lock(driver.mutex);
    if (!command.text.empty() && driver.FindPresentByPath(command.text) != nullptr) {
        return Failure("an adapter with that path is present");
    }
    const Adapter* adapter = driver.CreateAdapter(command.identity, command.text);
    if (adapter == nullptr) {
        return Failure("no instance numbers left");
    }
    driver.Notify(wire::ACTION_ARRIVAL, adapter->path);
    ControlResult result;
    result.output = Line(adapter->path);
    return result;
}

ControlResult RemoveAdapter(DriverState& driver, const ControlCommand& command) {
    if (command.query) {
        return QueriedRemoval(driver, command, false);
    }
    return OnAdapter(driver, command, [&](Adapter& adapter) {
        driver.TakeAway(adapter);
        return std::string();
    });
}

ControlResult RestartAdapter(DriverState& driver, const ControlCommand& command) {
    return QueriedRemoval(driver, command, true);
}

ControlResult SetReadSize(DriverState& driver, const ControlCommand& command) {
    return OnAdapter(driver, command, [&](Adapter& adapter) {
        for (ReadSizer& sizer : adapter.readSizes) {
            sizer.Set(command.readSize, command.count);
        }
        return std::string();
    });
}

ControlResult SetDelay(DriverState& driver, const ControlCommand& command) {
    return OnAdapter(driver, command, [&](Adapter& adapter) {
        adapter.delayMs.store(static_cast<uint32_t>(command.count));
        return std::string();
    });
}

void ApplyFault(AdapterFaults& faults, FaultKind fault) {
    switch (fault) {
        case FaultKind::OpenConfigure:
            faults.openRefused[static_cast<int>(Channel::Configure)] = true;
            break;
        case FaultKind::OpenText:
            faults.openRefused[static_cast<int>(Channel::TextLog)] = true;
            break;
        case FaultKind::OpenTiming:
            faults.openRefused[static_cast<int>(Channel::TimingLog)] = true;
            break;
        case FaultKind::RejectSet:
            faults.rejectSet = true;
            break;
        case FaultKind::RejectQuery:
            faults.rejectQuery = true;
            break;
        case FaultKind::ShortReply:
            faults.shortReply = true;
            break;
        case FaultKind::PartialRead:
            faults.partialRead = true;
            break;
        case FaultKind::FailRead:
            faults.failRead = true;
            break;
        case FaultKind::Overcount:
            faults.overcount = true;
            break;
        case FaultKind::Clear:
            faults = AdapterFaults{};
            break;
    }
}

ControlResult SetFault(DriverState& driver, const ControlCommand& command) {
    return OnAdapter(driver, command, [&](Adapter& adapter) {
        ApplyFault(adapter.faults, command.fault);
        return std::string();
    });
}

ControlResult SetPnpFault(DriverState& driver, const ControlCommand& command) {
    const std::lock_guard<std::mutex> lock(driver.mutex);
    switch (command.pnp) {
        case PnpFault::FailEnumeration:
            driver.failEnumeration = true;
            break;
        case PnpFault::RefuseRegistration:
            driver.refuseRegistration = true;
            break;
        case PnpFault::Clear:
            driver.failEnumeration = driver.refuseRegistration = false;
            break;
    }
    return {};
}

ControlResult ShowOptions(DriverState& driver, const ControlCommand& command) {
    return OnAdapter(driver, command, [](Adapter& adapter) { return Line(adapter.options); });
}

ControlResult ShowLogLevel(DriverState& driver, const ControlCommand& command) {
    return OnAdapter(driver, command, [](Adapter& adapter) {
        return adapter.logLevel ? Line(*adapter.logLevel) : Line("none");
    });
}

ControlResult ShowClearCount(DriverState& driver, const ControlCommand& command) {
    return OnAdapter(driver, command, [](Adapter& adapter) { return Line(adapter.clearCount); });
}

ControlResult ShowInstance(DriverState& driver, const ControlCommand& command) {
    return OnAdapter(driver, command, [](Adapter& adapter) { return Line(adapter.instance); });
}

ControlResult ShowWaiting(DriverState& driver, const ControlCommand& command) {
    return OnAdapter(driver, command,
                     [](Adapter& adapter) { return Line(adapter.waiting.load()); });
}

ControlResult ShowRequests(DriverState& driver, const ControlCommand& command) {
    return OnAdapter(driver, command, [](Adapter& adapter) {
        std::string lines;
        for (const std::string& request : adapter.requests) {
            lines += Line(request);
        }
        return lines;
    });
}

// From the record files: of a present adapter, or with --record of any instance in any root.
ControlResult ShowServed(DriverState& driver, const ControlCommand& command) {
    ControlResult result;
    std::filesystem::path folder = driver.recordFolder;
    auto instance = static_cast<unsigned>(command.adapter);
    if (command.recordRoot.empty()) {
        const Adapter* adapter = PresentAdapter(driver, command, &result);
        if (adapter == nullptr) {
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
            result.output += Line(length);
        }
    } else {
        found = ReadServedBytes(folder, instance, command.log, &result.output);
    }
    if (!found) {
        return Failure("no record of instance " + std::to_string(instance) + " in " +
                       folder.string());
    }
    return result;
}

ControlResult ShowSubscribers(DriverState& driver, const ControlCommand& /*command*/) {
    const std::lock_guard<std::mutex> lock(driver.mutex);
    ControlResult result;
    result.output = Line(driver.sinks.size());
    return result;
}

// The server ends once the answer is sent.
ControlResult StopServer(DriverState& /*driver*/, const ControlCommand& /*command*/) {
    ControlResult result;
    result.stop = true;
    return result;
}

constexpr struct {
    Verb verb;
    ControlHandler handler;
} HANDLERS[] = {
    {Verb::Add, AddAdapter},
    {Verb::Remove, RemoveAdapter},
    {Verb::Restart, RestartAdapter},
    {Verb::Hold, Hold},
    {Verb::Release, Release},
    {Verb::Text, AppendText},
    {Verb::Timing, AppendTimingRecords},
    {Verb::Fill, Fill},
    {Verb::Raw, AppendRaw},
    {Verb::ReadSize, SetReadSize},
    {Verb::Stream, Stream},
    {Verb::Delay, SetDelay},
    {Verb::Options, ShowOptions},
    {Verb::LogLevel, ShowLogLevel},
    {Verb::ClearCount, ShowClearCount},
    {Verb::Served, ShowServed},
    {Verb::Instance, ShowInstance},
    {Verb::Requests, ShowRequests},
    {Verb::Waiting, ShowWaiting},
    {Verb::Subscribers, ShowSubscribers},
    {Verb::Fault, SetFault},
    {Verb::Pnp, SetPnpFault},
    {Verb::Stop, StopServer},
};

// The table holds the verbs in their order, each once: a verb's handler is its row.
constexpr bool OneRowPerVerb() {
    for (size_t i = 0; i < std::size(HANDLERS); ++i) {
        if (HANDLERS[i].verb != static_cast<Verb>(i)) {
            return false;
        }
    }
    return std::size(HANDLERS) == static_cast<size_t>(Verb::Stop) + 1;
}
static_assert(OneRowPerVerb(), "one handler for each verb, in the order of Verb");

}  // namespace

ControlResult Failure(std::string message) {
    ControlResult result;
    result.status = 1;
    result.message = std::move(message);
    return result;
}

std::string Line(const std::string& text) {
    return text + "\n";
}

std::string Line(uint64_t number) {
    return Line(std::to_string(number));
}

ControlResult OnAdapter(DriverState& driver, const ControlCommand& command,
                        const std::function<std::string(Adapter& adapter)>& act) {
    const std::lock_guard<std::mutex> lock(driver.mutex);
    Adapter* adapter = driver.FindPresent(command.adapter);
    if (adapter == nullptr) {
        return Failure(driver.NoAdapter(command.adapter));
    }
    ControlResult result;
    result.output = act(*adapter);
    return result;
}

Adapter* PresentAdapter(DriverState& driver, const ControlCommand& command, ControlResult* result) {
    const std::lock_guard<std::mutex> lock(driver.mutex);
    Adapter* adapter = driver.FindPresent(command.adapter);
    if (adapter == nullptr) {
        *result = Failure(driver.NoAdapter(command.adapter));
    }
    return adapter;
}

ControlResult Driver::Execute(const ControlCommand& command) {
    return HANDLERS[static_cast<size_t>(command.verb)].handler(*state_, command);
}
