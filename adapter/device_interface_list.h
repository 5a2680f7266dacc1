// The present device interfaces of one interface class, as a chain in enumeration
// order, each entry holding the platform's detail record with the interface path.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/win32.h"

class DeviceInterfaceListEntry {
public:
    DeviceInterfaceListEntry() = default;
    virtual ~DeviceInterfaceListEntry() = default;
    DeviceInterfaceListEntry(const DeviceInterfaceListEntry&) = delete;
    DeviceInterfaceListEntry& operator=(const DeviceInterfaceListEntry&) = delete;

    const char* DevicePath() const;

    DeviceInterfaceListEntry* next = nullptr;
    // SP_DEVICE_INTERFACE_DETAIL_DATA_A as large as the platform asked for.
    std::unique_ptr<uint8_t[]> detail;
};

struct DeviceInterfaceList {
    DeviceInterfaceListEntry* head = nullptr;
    int32_t count = 0;
};

DeviceInterfaceList EnumerateDeviceInterfaces(const GUID* interfaceClass, DWORD flags);

// Destroys every entry of the chain and leaves the head null.
void FreeDeviceInterfaceList(DeviceInterfaceListEntry** head);
