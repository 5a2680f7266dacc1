#include "sim/driver_state.h"

#include <algorithm>
#include <cstdio>

#include "sim/driver_abi.h"
#include "sim/names.h"
#include "sim/wire.h"

namespace {

constexpr unsigned MAX_INSTANCES = 10000;  // four decimal digits

}  // namespace

std::string InterfacePath(unsigned instance) {
    const drv::ClassGuid& g = drv::INTERFACE_CLASS;
    char text[96];
    std::snprintf(text, sizeof text,
                  "\\\\?\\ROOT#MEDIA#%04u#{%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}",
                  instance, g.data1, g.data2, g.data3, g.data4[0], g.data4[1], g.data4[2],
                  g.data4[3], g.data4[4], g.data4[5], g.data4[6], g.data4[7]);
    return text;
}

DriverState::DriverState(const ServeOptions& options, std::filesystem::path folder)
    : logSize(options.logSize),
      recordFolder(std::move(folder)),
      nextInstance(NextFreeInstance(recordFolder)) {
    for (const AdapterIdentity& identity : options.adapters) {
        CreateAdapter(identity, "");
    }
}

Adapter* DriverState::CreateAdapter(const AdapterIdentity& identity, const std::string& path) {
    if (nextInstance >= MAX_INSTANCES) {
        return nullptr;
    }
    const unsigned instance = nextInstance++;
    adapters.push_back(std::make_unique<Adapter>(
        instance, identity, path.empty() ? InterfacePath(instance) : path, logSize));
    Adapter* adapter = adapters.back().get();
    for (const LogKind log : {LogKind::Text, LogKind::Timing}) {
        adapter->served[LogIndex(log)].Create(recordFolder, instance, log);
    }
    return adapter;
}

Adapter* DriverState::FindPresent(uint64_t position) {
    for (const auto& adapter : adapters) {
        if (adapter->present && position-- == 0) {
            return adapter.get();
        }
    }
    return nullptr;
}

Adapter* DriverState::FindPresentByPath(const std::string& path) {
    for (const auto& adapter : adapters) {
        if (adapter->present && SameName(path.c_str(), adapter->path.c_str())) {
            return adapter.get();
        }
    }
    return nullptr;
}

std::string DriverState::NoAdapter(uint64_t position) const {
    const auto present =
        std::count_if(adapters.begin(), adapters.end(), [](const auto& a) { return a->present; });
    return "no adapter " + std::to_string(position) + " (" + std::to_string(present) + " present)";
}

void DriverState::Notify(uint32_t action, const std::string& path) {
    const InterfaceEvent event{action, path};
    for (EventSink* sink : sinks) {
        sink->Post(event);
    }
}

void DriverState::TakeAway(Adapter& adapter) {
    adapter.present = false;
    for (ServedRecord& record : adapter.served) {
        record.Close();
    }
    Notify(wire::ACTION_REMOVAL, adapter.path);
}
