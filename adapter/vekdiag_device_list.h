// The adapters present when a command starts, one device each in enumeration order,
// and the slot in which an arrival notification leaves the path of a new adapter.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "adapter/vekdiag_device.h"
#include "platform/win32.h"

class VekDiagDeviceList {
public:
    // Registers for arrivals, then enumerates the adapters and makes their devices.
    VekDiagDeviceList();
    // Ends the registration first, so that no notification reaches a destroyed list.
    virtual ~VekDiagDeviceList();
    VekDiagDeviceList(const VekDiagDeviceList&) = delete;
    VekDiagDeviceList& operator=(const VekDiagDeviceList&) = delete;

    // The device at index, or null when index is not below deviceCount.
    VekDiagDevice* GetDevice(uint64_t index) const;

    // Takes the path of the newest untaken arrival out of the slot (null when none);
    // the caller owns it from then on.
    std::unique_ptr<WCHAR[]> TakeNewDevicePath();

    static DWORD CALLBACK NotificationCallback(HCMNOTIFICATION notification, PVOID context,
                                               CM_NOTIFY_ACTION action,
                                               PCM_NOTIFY_EVENT_DATA eventData,
                                               DWORD eventDataSize);
    // Keeps a copy of an arrived interface's symbolic link; other actions are ignored.
    DWORD OnInterfaceArrival(CM_NOTIFY_ACTION action, PCM_NOTIFY_EVENT_DATA eventData,
                             DWORD eventDataSize);

    std::unique_ptr<std::unique_ptr<VekDiagDevice>[]> devices;
    uint64_t deviceCount = 0;
    HCMNOTIFICATION notificationHandle = nullptr;
    // Written by the notification thread, taken by the capture worker: every hand-over
    // is one atomic exchange, so a path is never lost, seen half-copied or freed twice.
    std::atomic<WCHAR*> newDevicePath{nullptr};
};
