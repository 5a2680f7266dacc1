// What the driver holds: every adapter of the server's life in creation order, the
// subscribers to arrivals and removals, the faults of the plug-and-play side and the
// stream writers. The driver's requests (driver_requests.cpp) and its control commands
// (control_commands.cpp) work on it under its lock.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "sim/adapter.h"
#include "sim/command_syntax.h"
#include "sim/driver.h"
#include "sim/stream_writer.h"

struct DriverState {
    // The served records go to recordFolder, which exists; instance numbers go on after
    // the highest one recorded there.
    DriverState(const ServeOptions& options, std::filesystem::path recordFolder);

    // A new present adapter, with its own path or else the path of its instance; null when
    // the instance numbers have run out.
    Adapter* CreateAdapter(const AdapterIdentity& identity, const std::string& path);
    // The present adapter at a position among the present ones, or null.
    Adapter* FindPresent(uint64_t position);
    // The present adapter with this path, or null. Object names on Windows compare
    // without regard to case.
    Adapter* FindPresentByPath(const std::string& path);
    // What a command on a position without an adapter says.
    std::string NoAdapter(uint64_t position) const;
    void Notify(uint32_t action, const std::string& path);
    // The adapter goes away: no longer present, its record files let go, its interface's
    // removal said to the arrival subscribers (its registrants hear nothing of it: a
    // surprise removal).
    void TakeAway(Adapter& adapter);

    mutable std::mutex mutex;
    std::vector<std::unique_ptr<Adapter>> adapters;
    std::vector<EventSink*> sinks;
    bool failEnumeration = false;
    bool refuseRegistration = false;
    const size_t logSize;
    const std::filesystem::path recordFolder;
    unsigned nextInstance = 0;
    uint64_t nextOpenId = 1;
    uint32_t nextQuery = 1;

    // Taken without mutex held, so that stopping a writer never waits for its own step.
    // Declared after the adapters, so that the writers end before the adapters go.
    std::mutex streamsMutex;
    std::map<std::pair<const Adapter*, LogKind>, std::unique_ptr<StreamWriter>> streams;
};
