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

struct DriverEvent {
    bool arrival;  // else a removal
    std::string path;
};

enum class Subscription { Live, Refused, Lost };

// The driver's arrivals and removals from Begin on, in order; destroying it ends them.
class DriverEvents {
public:
    virtual ~DriverEvents() = default;

    // Waits until the driver took the subscription (Live), refused it (Refused: as a
    // system without arrival notifications) or went away (Lost).
    virtual Subscription Begin() = 0;
    // Waits for the next event; false once the subscription has ended.
    virtual bool Next(DriverEvent* event) = 0;
    // From any thread: Begin and Next return at once, now and from now on.
    virtual void Cancel() = 0;
};

// A subscription to begin, or null when no driver answers.
std::unique_ptr<DriverEvents> SubscribeToDriver();
