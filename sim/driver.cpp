#include "sim/driver.h"

#include <algorithm>
#include <mutex>

#include "sim/driver_abi.h"
#include "sim/driver_state.h"

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

void Driver::StopStreams() {
    const std::lock_guard<std::mutex> lock(state_->streamsMutex);
    state_->streams.clear();
}
