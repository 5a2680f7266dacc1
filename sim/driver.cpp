#include "sim/driver.h"

#include <algorithm>
#include <mutex>

#include "sim/driver_abi.h"
#include "sim/driver_state.h"
#include "sim/wire.h"

Driver::Driver(const ServeOptions& options, std::filesystem::path recordFolder)
    : state_(std::make_unique<DriverState>(options, std::move(recordFolder))) {}

Driver::~Driver() {
    StopStreams();  // before the adapters they write to go
}

uint32_t Driver::Interfaces(std::vector<InterfaceEntry>* entries) const {
    const std::lock_guard<std::mutex> lock(state_->mutex);
    entries->clear();
    if (state_->failEnumeration) {
        return drv::ERR_GEN_FAILURE;
    }
    entries->reserve(state_->adapters.size());
    for (const auto& adapter : state_->adapters) {
        entries->push_back(InterfaceEntry{adapter->path, adapter->present});
    }
    return drv::ERR_SUCCESS;
}

bool Driver::Subscribe(EventSink* sink) {
    const std::lock_guard<std::mutex> lock(state_->mutex);
    if (state_->refuseRegistration) {
        return false;
    }
    state_->sinks.push_back(sink);
    return true;
}

void Driver::Unsubscribe(EventSink* sink) {
    const std::lock_guard<std::mutex> lock(state_->mutex);
    std::vector<EventSink*>& sinks = state_->sinks;
    sinks.erase(std::remove(sinks.begin(), sinks.end(), sink), sinks.end());
}

uint32_t Driver::SubscribeDevice(std::string_view path, const std::shared_ptr<DeviceSink>& sink) {
    const std::lock_guard<std::mutex> lock(state_->mutex);
    if (state_->refuseRegistration) {
        return wire::SUBSCRIPTION_REFUSED;
    }
    Adapter* adapter = state_->FindPresentByPath(std::string(path));
    if (adapter == nullptr) {
        return wire::SUBSCRIPTION_NO_DEVICE;
    }
    adapter->registrants.push_back(sink);
    return wire::SUBSCRIPTION_LIVE;
}

void Driver::UnsubscribeDevice(const DeviceSink* sink) {
    const std::lock_guard<std::mutex> lock(state_->mutex);
    for (const auto& adapter : state_->adapters) {
        std::vector<std::shared_ptr<DeviceSink>>& registrants = adapter->registrants;
        registrants.erase(std::remove_if(registrants.begin(), registrants.end(),
                                         [&](const auto& held) { return held.get() == sink; }),
                          registrants.end());
    }
}

void Driver::StopStreams() {
    const std::lock_guard<std::mutex> lock(state_->streamsMutex);
    state_->streams.clear();
}
