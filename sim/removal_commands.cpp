// The removals that ask first, as the plug-and-play manager makes them for a restart of
// the device or a removal from the device manager: every program registered for the
// adapter is asked, one after the other, and may veto; a handle still open after all of
// them answered vetoes too. And the handles that play another program's, which `hold`
// keeps open on a channel until `release`.
#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sim/control_handlers.h"
#include "sim/driver_abi.h"
#include "sim/wire.h"

namespace {

// How long a registrant may take to answer; no answer by then is a veto.
constexpr std::chrono::seconds ANSWER_TIME{5};

// The adapter's open handles, as a veto says them; empty when there is none.
std::string OpenHandles(const Adapter& adapter) {
    size_t count = 0;
    std::string where;
    for (int channel = 0; channel < CHANNELS; ++channel) {
        if (!adapter.holders[channel].empty()) {
            count += adapter.holders[channel].size();
            where += (where.empty() ? "" : ", ") + adapter.path + "\\" +
                     ChannelName(static_cast<Channel>(channel));
        }
    }
    if (count == 0) {
        return {};
    }
    return std::to_string(count) + (count == 1 ? " handle" : " handles") + " still open on " +
           where;
}

// Asks the registrants in turn; empty when every one allowed the removal, else who
// vetoed. *asked: how many were asked.
std::string AskRegistrants(const std::vector<std::shared_ptr<DeviceSink>>& registrants,
                           DriverState& driver, Adapter& adapter, size_t* asked) {
    for (*asked = 0; *asked < registrants.size();) {
        DeviceSink& registrant = *registrants[(*asked)++];
        uint32_t query = 0;
        {
            const std::lock_guard<std::mutex> lock(driver.mutex);
            query = driver.nextQuery++;
            registrant.Post(InterfaceEvent{wire::ACTION_QUERY_REMOVE, adapter.path, query});
        }
        const std::optional<uint32_t> answer =
            registrant.AwaitAnswer(query, std::chrono::steady_clock::now() + ANSWER_TIME);
        const std::lock_guard<std::mutex> lock(driver.mutex);
        if (!answer) {
            adapter.requests.push_back("query-remove unanswered");
            return "vetoed: a registered program did not answer within " +
                   std::to_string(ANSWER_TIME.count()) + " s";
        }
        adapter.requests.push_back("query-remove answered " + std::to_string(*answer));
        if (*answer != 0) {
            return "vetoed by a registered program (answer " + std::to_string(*answer) + ")";
        }
    }
    return {};
}

}  // namespace

ControlResult QueriedRemoval(DriverState& driver, const ControlCommand& command, bool comeBack) {
    const std::string which = "adapter " + std::to_string(command.adapter);
    std::vector<std::shared_ptr<DeviceSink>> registrants;
    Adapter* adapter = nullptr;
    {
        const std::lock_guard<std::mutex> lock(driver.mutex);
        adapter = driver.FindPresent(command.adapter);
        if (adapter == nullptr) {
            return Failure(driver.NoAdapter(command.adapter));
        }
        if (adapter->removalQueried) {
            return Failure("a removal of " + which + " is being queried already");
        }
        adapter->removalQueried = true;
        registrants = adapter->registrants;
        adapter->requests.push_back("query-remove");
    }
    // Without the driver's lock: the registrants close their handles meanwhile, and the
    // requests of their other threads go on.
    size_t asked = 0;
    std::string veto = AskRegistrants(registrants, driver, *adapter, &asked);

    const std::lock_guard<std::mutex> lock(driver.mutex);
    adapter->removalQueried = false;
    if (!adapter->present) {
        return Failure(which + " went away while its removal was queried");
    }
    if (veto.empty()) {
        const std::string open = OpenHandles(*adapter);
        veto = open.empty() ? "" : "vetoed: " + open;
    }
    if (!veto.empty()) {
        adapter->requests.push_back("query-remove vetoed");
        for (size_t i = 0; i < asked; ++i) {
            registrants[i]->Post(InterfaceEvent{wire::ACTION_QUERY_REMOVE_FAILED, adapter->path});
        }
        return Failure("the removal of " + which + " was " + veto);
    }
    adapter->requests.push_back("query-remove allowed");
    driver.TakeAway(*adapter);
    for (const auto& registrant : adapter->registrants) {
        registrant->Post(InterfaceEvent{wire::ACTION_REMOVE_COMPLETE, adapter->path});
    }
    if (comeBack) {
        // The same adapter: its position, path, instance, logs, options and record.
        adapter->present = true;
        driver.Notify(wire::ACTION_ARRIVAL, adapter->path);
    }
    return {};
}

ControlResult Hold(DriverState& driver, const ControlCommand& command) {
    return OnAdapter(driver, command, [&](Adapter& adapter) {
        // No access and full sharing: it keeps the adapter from going, never the program's
        // opens.
        const auto channel = static_cast<Channel>(command.channel);
        const uint64_t id = driver.nextOpenId++;
        adapter.holders[command.channel].push_back(
            Holder{id, 0, drv::SHARE_READ | drv::SHARE_WRITE | drv::SHARE_DELETE});
        adapter.simulatorHolds.emplace_back(channel, id);
        adapter.requests.push_back(std::string("hold ") + ChannelName(channel));
        return std::string();
    });
}

ControlResult Release(DriverState& driver, const ControlCommand& command) {
    return OnAdapter(driver, command, [&](Adapter& adapter) {
        for (const auto& [channel, id] : adapter.simulatorHolds) {
            std::vector<Holder>& holders = adapter.holders[static_cast<int>(channel)];
            holders.erase(
                std::remove_if(holders.begin(), holders.end(),
                               [id = id](const Holder& holder) { return holder.id == id; }),
                holders.end());
            adapter.requests.push_back(std::string("release ") + ChannelName(channel));
        }
        adapter.simulatorHolds.clear();
        return std::string();
    });
}
