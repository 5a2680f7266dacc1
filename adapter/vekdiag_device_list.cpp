#include "adapter/vekdiag_device_list.h"

#include <algorithm>
#include <cstddef>

#include "adapter/device_interface_list.h"
#include "adapter/vekdiag_protocol.h"

namespace {

constexpr size_t SYMBOLIC_LINK_OFFSET =
    offsetof(CM_NOTIFY_EVENT_DATA, u.DeviceInterface.SymbolicLink);
static_assert(SYMBOLIC_LINK_OFFSET == 24, "CM_NOTIFY_EVENT_DATA layout");
static_assert(sizeof(CM_NOTIFY_FILTER) == 416, "CM_NOTIFY_FILTER layout");

}  // namespace

VekDiagDeviceList::VekDiagDeviceList() {
    // Registered first, so that an adapter that arrives while the present ones are
    // enumerated is never missed: it is either enumerated or notified (or both).
    CM_NOTIFY_FILTER filter{};
    filter.cbSize = sizeof filter;
    filter.Flags = 0;
    filter.FilterType = CM_NOTIFY_FILTER_TYPE_DEVICEINTERFACE;
    filter.u.DeviceInterface.ClassGuid = GUID_DEVINTERFACE_VEKDIAG;
    if (RegisterCmNotification(&filter, this, NotificationCallback, &notificationHandle) !=
        CR_SUCCESS) {
        notificationHandle = nullptr;  // no arrivals will be reported; nothing to end
    }

    DeviceInterfaceList found = EnumerateDeviceInterfaces(&GUID_DEVINTERFACE_VEKDIAG,
                                                          DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    deviceCount = static_cast<uint64_t>(found.count);
    if (deviceCount != 0) {
        devices = std::make_unique<std::unique_ptr<VekDiagDevice>[]>(deviceCount);
        const DeviceInterfaceListEntry* entry = found.head;
        for (uint64_t i = 0; i < deviceCount; ++i, entry = entry->next) {
            devices[i] = std::make_unique<VekDiagDevice>(entry->DevicePath());
        }
    }

    FreeDeviceInterfaceList(&found.head);
}

VekDiagDeviceList::~VekDiagDeviceList() {
    if (notificationHandle != nullptr) {
        UnregisterCmNotification(notificationHandle);
        notificationHandle = nullptr;
    }
    delete[] newDevicePath.exchange(nullptr);
    for (uint64_t i = 0; i < deviceCount; ++i) {
        devices[i].reset();  // in index order, each closing its channels
    }
}

VekDiagDevice* VekDiagDeviceList::GetDevice(uint64_t index) const {
    return index < deviceCount ? devices[index].get() : nullptr;
}

std::unique_ptr<WCHAR[]> VekDiagDeviceList::TakeNewDevicePath() {
    return std::unique_ptr<WCHAR[]>(newDevicePath.exchange(nullptr, std::memory_order_acquire));
}

DWORD CALLBACK VekDiagDeviceList::NotificationCallback(HCMNOTIFICATION /*notification*/,
                                                       PVOID context, CM_NOTIFY_ACTION action,
                                                       PCM_NOTIFY_EVENT_DATA eventData,
                                                       DWORD eventDataSize) {
    if (context == nullptr) {
        return ERROR_SUCCESS;
    }
    return static_cast<VekDiagDeviceList*>(context)->OnInterfaceArrival(action, eventData,
                                                                        eventDataSize);
}

DWORD VekDiagDeviceList::OnInterfaceArrival(CM_NOTIFY_ACTION action,
                                            PCM_NOTIFY_EVENT_DATA eventData, DWORD eventDataSize) {
    if (action != CM_NOTIFY_ACTION_DEVICEINTERFACEARRIVAL || eventData == nullptr ||
        eventDataSize <= SYMBOLIC_LINK_OFFSET) {
        return ERROR_SUCCESS;
    }
    // The link must end within the event data that the platform handed over.
    const WCHAR* link = eventData->u.DeviceInterface.SymbolicLink;
    const size_t capacity = (eventDataSize - SYMBOLIC_LINK_OFFSET) / sizeof(WCHAR);
    const WCHAR* end = std::find(link, link + capacity, WCHAR{0});
    if (end == link + capacity) {
        return ERROR_SUCCESS;
    }
    const size_t length = static_cast<size_t>(end - link);
    auto* copy = new WCHAR[length + 1];
    std::copy(link, end + 1, copy);
    // Publish the complete copy; an earlier path nobody took is replaced.
    delete[] newDevicePath.exchange(copy, std::memory_order_acq_rel);
    return ERROR_SUCCESS;
}
