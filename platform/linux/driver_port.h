// The Linux layer's one way to the driver. The device functions (CreateFileA,
// DeviceIoControl, the SetupAPI enumeration, the notification registration) keep the
// Win32 rules: handles, last error, sharing, the notification thread; what they ask of
// the driver goes through here. Two ports implement it, one linked in at a time: the
// program's, a client of the driver simulator's socket (simulator_port.cpp), and the unit
// tests', the simulator's Driver model in the same process
// (tests/support/in_process_driver.cpp).
#pragma once

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/linux/win32_api.h"
#include "sim/driver_abi.h"

// The interface class of every adapter the driver has.
inline GUID DriverInterfaceClass() {
    GUID guid;
    static_assert(sizeof guid == sizeof drv::INTERFACE_CLASS, "GUID layout");
    std::memcpy(&guid, &drv::INTERFACE_CLASS, sizeof guid);
    return guid;
}

// One open channel of an adapter; destroying it closes the channel, and the close has
// taken effect when the destructor returns.
class DriverChannel {
public:
    virtual ~DriverChannel() = default;

    // The Win32 error of the request. At most outSize bytes were stored to out, also on
    // failure; *returned is the byte count the driver reports.
    virtual DWORD Request(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize,
                          DWORD* returned) = 0;
};

// ERROR_SUCCESS and *channel, or the Win32 error (ERROR_FILE_NOT_FOUND without a driver).
DWORD OpenDriverChannel(const char* path, DWORD access, DWORD share,
                        std::unique_ptr<DriverChannel>* channel);

struct DriverInterface {
    std::string path;
    bool present;
};

// ERROR_SUCCESS and every interface of the driver's life in creation order (none without
// a driver), or the Win32 error the listing failed with.
DWORD ListDriverInterfaces(std::vector<DriverInterface>* interfaces);

// An event of the driver's plug-and-play side, with the notification action it is
// delivered as: an interface's arrival or removal for a subscription to arrivals, the
// removal's query and what follows it for a subscription to one adapter.
struct DriverEvent {
    CM_NOTIFY_ACTION action;
    std::string path;
};

// Live; Refused: as a system without these notifications; Lost: the driver went away;
// NoDevice: the adapter of a subscription to one adapter is not present.
enum class Subscription { Live, Refused, Lost, NoDevice };

// The driver's events from Begin on, in order; destroying it ends them.
class DriverEvents {
public:
    virtual ~DriverEvents() = default;

    // Waits until the driver took the subscription, refused it or went away.
    virtual Subscription Begin() = 0;
    // Waits for the next event; false once the subscription has ended.
    virtual bool Next(DriverEvent* event) = 0;
    // The answer to the CM_NOTIFY_ACTION_DEVICEQUERYREMOVE that Next returned last:
    // ERROR_SUCCESS lets the removal go ahead, anything else vetoes it.
    virtual void Answer(DWORD result) = 0;
    // From any thread: Begin and Next return at once, now and from now on.
    virtual void Cancel() = 0;
};

// A subscription to begin, or null when no driver answers: to the arrivals and removals
// of every interface, or to the notifications of the adapter whose interface path
// devicePath is (the query before its removal, a veto's outcome, the removal's end).
std::unique_ptr<DriverEvents> SubscribeToDriver();
std::unique_ptr<DriverEvents> SubscribeToDevice(const std::string& devicePath);
