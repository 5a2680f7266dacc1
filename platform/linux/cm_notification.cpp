// CM_Register_Notification for interface arrivals and removals, and for the device of a
// channel handle (the query before a removal that asks first, its outcome): each
// registration holds a subscription to the driver's events and a thread of its own that
// runs the callback for one event after the other, and for a query sends the callback's
// answer back. When the driver goes away the thread subscribes again, with a short
// backoff, so that a driver that comes back (as a simulator started anew after a crash)
// reaches the registration as a restarted PnP manager would.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <unordered_set>
#include <vector>

#include "platform/linux/device_io.h"
#include "platform/linux/driver_port.h"
#include "sim/wire.h"

namespace {

using namespace std::chrono_literals;

constexpr size_t LINK_OFFSET = offsetof(CM_NOTIFY_EVENT_DATA, u.DeviceInterface.SymbolicLink);
// A device's events carry no custom data.
constexpr size_t DEVICE_EVENT_SIZE = offsetof(CM_NOTIFY_EVENT_DATA, u.DeviceHandle.Data);
constexpr std::chrono::milliseconds FIRST_BACKOFF = 10ms;
constexpr std::chrono::milliseconds LONGEST_BACKOFF = 200ms;

struct Registration {
    PVOID context = nullptr;
    PCM_NOTIFY_CALLBACK callback = nullptr;
    // The interface path of the device registered for; empty for interface arrivals.
    std::string devicePath;
    std::thread thread;  // none for a class the driver has no interfaces of

    std::mutex mutex;
    std::condition_variable unregistering;
    // The subscription in use; null between subscriptions. Replaced or destroyed only by
    // the thread that subscribes, under the mutex; unregistering cancels it.
    std::unique_ptr<DriverEvents> events;
    bool unregistered = false;
    bool ownedByThread = false;  // unregistered from its own callback: the thread frees it
};

struct LiveRegistrations {
    std::mutex mutex;
    std::unordered_set<Registration*> live;
};

LiveRegistrations& Live() {
    static auto* registrations = new LiveRegistrations;  // outlives every static destructor
    return *registrations;
}

// The event record, with the symbolic link as wide characters at offset 24. Kept in
// 8-byte units so that the record is aligned as the callback expects.
// The driver's paths are UTF-8; the record carries wide characters (UTF-32 here, as wchar_t
// is), a byte that starts no valid sequence as U+FFFD.
std::vector<uint64_t> MakeEventData(const GUID& classGuid, std::string_view link, DWORD* size) {
    const std::u32string wide = wire::DecodeUtf8(link);
    *size = static_cast<DWORD>(LINK_OFFSET + (wide.size() + 1) * sizeof(WCHAR));
    std::vector<uint64_t> storage((*size + 7) / 8, 0);
    char* bytes = reinterpret_cast<char*>(storage.data());
    auto* event = reinterpret_cast<CM_NOTIFY_EVENT_DATA*>(bytes);
    event->FilterType = CM_NOTIFY_FILTER_TYPE_DEVICEINTERFACE;
    event->Reserved = 0;
    event->u.DeviceInterface.ClassGuid = classGuid;
    auto* wideLink = reinterpret_cast<WCHAR*>(bytes + LINK_OFFSET);
    std::copy(wide.begin(), wide.end(), wideLink);
    wideLink[wide.size()] = L'\0';
    return storage;
}

std::vector<uint64_t> MakeDeviceEventData(DWORD* size) {
    *size = static_cast<DWORD>(DEVICE_EVENT_SIZE);
    std::vector<uint64_t> storage((sizeof(CM_NOTIFY_EVENT_DATA) + 7) / 8, 0);
    auto* event = reinterpret_cast<CM_NOTIFY_EVENT_DATA*>(storage.data());
    event->FilterType = CM_NOTIFY_FILTER_TYPE_DEVICEHANDLE;
    event->u.DeviceHandle.NameOffset = -1;
    return storage;
}

// Subscribes the registration to the driver's events. The subscription is published
// before the driver's answer is awaited, so that unregistering can always cut the wait
// short.
Subscription Subscribe(Registration& registration) {
    std::unique_ptr<DriverEvents> subscribing = registration.devicePath.empty()
                                                    ? SubscribeToDriver()
                                                    : SubscribeToDevice(registration.devicePath);
    if (subscribing == nullptr) {
        return Subscription::Lost;
    }
    DriverEvents& events = *subscribing;
    {
        const std::lock_guard<std::mutex> lock(registration.mutex);
        if (registration.unregistered) {
            return Subscription::Lost;
        }
        registration.events = std::move(subscribing);
    }
    const Subscription result = events.Begin();
    if (result != Subscription::Live) {
        const std::lock_guard<std::mutex> lock(registration.mutex);
        registration.events.reset();
    }
    return result;
}

bool Unregistered(Registration& registration) {
    const std::lock_guard<std::mutex> lock(registration.mutex);
    return registration.unregistered;
}

// Runs the callback for each event of the subscription until it ends (the driver went
// away, or unregistering cancelled it). A query unanswered because of an unregistration
// is the driver's to settle: it sees the subscription end.
void DeliverEvents(Registration* registration, DriverEvents& events) {
    const auto handle = reinterpret_cast<HCMNOTIFICATION>(registration);
    const bool device = !registration->devicePath.empty();
    DriverEvent event;
    while (events.Next(&event)) {
        DWORD size = 0;
        std::vector<uint64_t> data = device
                                         ? MakeDeviceEventData(&size)
                                         : MakeEventData(DriverInterfaceClass(), event.path, &size);
        if (Unregistered(*registration)) {
            break;
        }
        const DWORD result =
            registration->callback(handle, registration->context, event.action,
                                   reinterpret_cast<PCM_NOTIFY_EVENT_DATA>(data.data()), size);
        if (event.action == CM_NOTIFY_ACTION_DEVICEQUERYREMOVE) {
            events.Answer(result);
        }
    }
}

// The registration's thread: delivers while subscribed, subscribes again while not.
void Deliver(Registration* registration) {
    std::chrono::milliseconds backoff = FIRST_BACKOFF;
    for (;;) {
        DriverEvents* events = nullptr;
        {
            std::unique_lock<std::mutex> lock(registration->mutex);
            if (registration->unregistered) {
                break;
            }
            events = registration->events.get();
            if (events == nullptr && registration->unregistering.wait_for(lock, backoff, [&] {
                    return registration->unregistered;
                })) {
                break;
            }
        }
        if (events == nullptr) {
            backoff = std::min(backoff * 2, LONGEST_BACKOFF);
            Subscribe(*registration);
            continue;
        }
        backoff = FIRST_BACKOFF;
        DeliverEvents(registration, *events);
        const std::lock_guard<std::mutex> lock(registration->mutex);
        registration->events.reset();
    }
    bool ownedByThread = false;
    {
        const std::lock_guard<std::mutex> lock(registration->mutex);
        ownedByThread = registration->ownedByThread;
    }
    if (ownedByThread) {
        delete registration;
    }
}

}  // namespace

CONFIGRET CM_Register_Notification(PCM_NOTIFY_FILTER pFilter, PVOID pContext,
                                   PCM_NOTIFY_CALLBACK pCallback, PHCMNOTIFICATION pNotifyContext) {
    if (pNotifyContext != nullptr) {
        *pNotifyContext = nullptr;
    }
    if (pFilter == nullptr || pCallback == nullptr || pNotifyContext == nullptr) {
        return CR_INVALID_POINTER;
    }
    if (pFilter->cbSize != sizeof(CM_NOTIFY_FILTER)) {
        return CR_INVALID_STRUCTURE_SIZE;
    }
    const bool byHandle = pFilter->FilterType == CM_NOTIFY_FILTER_TYPE_DEVICEHANDLE;
    if ((!byHandle && pFilter->FilterType != CM_NOTIFY_FILTER_TYPE_DEVICEINTERFACE) ||
        pFilter->Reserved != 0) {
        return CR_INVALID_DATA;
    }
    // Registrations for every interface class at once are not part of this layer.
    if (pFilter->Flags != 0) {
        return CR_INVALID_FLAG;
    }
    auto registration = std::make_unique<Registration>();
    registration->context = pContext;
    registration->callback = pCallback;
    bool wanted = true;
    if (byHandle) {
        // The registration is for the handle's device: it outlives the handle.
        if (!ChannelDevicePath(pFilter->u.DeviceHandle.hTarget, &registration->devicePath)) {
            return CR_INVALID_DATA;
        }
    } else {
        const GUID interfaceClass = DriverInterfaceClass();
        wanted = std::memcmp(&pFilter->u.DeviceInterface.ClassGuid, &interfaceClass,
                             sizeof interfaceClass) == 0;
    }
    // For another class the registration stands but stays quiet. Without a driver its
    // thread waits for one to come.
    if (wanted) {
        // Subscribed before returning: whatever comes after registration is seen. A driver
        // that refuses stands for a system without these notifications.
        switch (Subscribe(*registration)) {
            case Subscription::Refused:
                return CR_CALL_NOT_IMPLEMENTED;
            case Subscription::NoDevice:
                return CR_NO_SUCH_DEVNODE;
            case Subscription::Live:
            case Subscription::Lost:
                break;
        }
        try {
            registration->thread = std::thread(Deliver, registration.get());
        } catch (const std::system_error&) {
            return CR_OUT_OF_MEMORY;
        }
    }
    {
        LiveRegistrations& registrations = Live();
        const std::lock_guard<std::mutex> lock(registrations.mutex);
        registrations.live.insert(registration.get());
    }
    *pNotifyContext = reinterpret_cast<HCMNOTIFICATION>(registration.release());
    return CR_SUCCESS;
}

CONFIGRET CM_Unregister_Notification(HCMNOTIFICATION NotifyContext) {
    auto* registration = reinterpret_cast<Registration*>(NotifyContext);
    {
        LiveRegistrations& registrations = Live();
        const std::lock_guard<std::mutex> lock(registrations.mutex);
        if (registrations.live.erase(registration) == 0) {
            return CR_INVALID_POINTER;
        }
    }
    if (!registration->thread.joinable()) {
        delete registration;
        return CR_SUCCESS;
    }
    const bool fromCallback = std::this_thread::get_id() == registration->thread.get_id();
    {
        const std::lock_guard<std::mutex> lock(registration->mutex);
        registration->unregistered = true;
        registration->ownedByThread = fromCallback;
        if (registration->events != nullptr) {
            registration->events->Cancel();  // wakes the thread from its wait
        }
    }
    registration->unregistering.notify_all();
    if (fromCallback) {
        // Waiting for ourselves would never end; the thread stops when the callback returns.
        registration->thread.detach();
        return CR_SUCCESS;
    }
    // After the join no callback of this registration runs or will run.
    registration->thread.join();
    delete registration;
    return CR_SUCCESS;
}
