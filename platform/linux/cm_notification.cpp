// CM_Register_Notification for interface arrivals and removals: each registration
// holds a subscription connection to the simulator and a thread of its own that runs
// the callback for one event after the other. When the simulator goes away the thread
// connects again, with a short backoff, so that a simulator started anew (as after a
// crash) reaches the registration as a restarted PnP manager would.
#include <sys/socket.h>
#include <unistd.h>

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

#include "platform/linux/simulator_connection.h"
#include "platform/linux/win32_api.h"
#include "sim/wire.h"

namespace {

using namespace std::chrono_literals;

constexpr size_t kLinkOffset = offsetof(CM_NOTIFY_EVENT_DATA, u.DeviceInterface.SymbolicLink);
constexpr std::chrono::milliseconds kFirstBackoff = 10ms;
constexpr std::chrono::milliseconds kLongestBackoff = 200ms;

struct Registration {
    PVOID context = nullptr;
    PCM_NOTIFY_CALLBACK callback = nullptr;
    std::thread thread;  // none for a class the simulator has no interfaces of

    std::mutex mutex;
    std::condition_variable unregistering;
    int fd = -1;  // the subscription in use; -1 between connections
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

GUID InterfaceClass() {
    GUID guid;
    static_assert(sizeof guid == sizeof wire::kInterfaceClass, "GUID layout");
    std::memcpy(&guid, &wire::kInterfaceClass, sizeof guid);
    return guid;
}

// The length of the UTF-8 sequence a byte opens; 0 when it opens none.
size_t SequenceLength(uint8_t lead) {
    if (lead < 0x80) {
        return 1;
    }
    if (lead < 0xC2) {
        return 0;
    }
    if (lead < 0xE0) {
        return 2;
    }
    if (lead < 0xF0) {
        return 3;
    }
    return lead < 0xF5 ? 4 : 0;
}

// The simulator's paths are UTF-8; the event carries wide characters (UTF-32 here, as
// wchar_t is). A byte that starts no valid sequence becomes U+FFFD.
std::wstring DecodeUtf8(std::string_view text) {
    std::wstring wide;
    wide.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<uint8_t>(text[i]);
        const size_t length = SequenceLength(lead);
        uint32_t point = length == 1 ? lead : lead & (0x7Fu >> length);
        bool valid = length != 0 && i + length <= text.size();
        for (size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<uint8_t>(text[i + k]);
            valid = (next & 0xC0u) == 0x80u;
            point = point << 6 | (next & 0x3Fu);
        }
        static constexpr uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
        valid = valid && point >= kSmallest[length] && point <= 0x10FFFF &&
                (point < 0xD800 || point > 0xDFFF);
        wide.push_back(valid ? static_cast<wchar_t>(point) : L'\xFFFD');
        i += valid ? length : 1;
    }
    return wide;
}

// The event record, with the symbolic link as wide characters at offset 24. Kept in
// 8-byte units so that the record is aligned as the callback expects.
std::vector<uint64_t> MakeEventData(const GUID& classGuid, std::string_view link, DWORD* size) {
    const std::wstring wide = DecodeUtf8(link);
    *size = static_cast<DWORD>(kLinkOffset + (wide.size() + 1) * sizeof(WCHAR));
    std::vector<uint64_t> storage((*size + 7) / 8, 0);
    char* bytes = reinterpret_cast<char*>(storage.data());
    auto* event = reinterpret_cast<CM_NOTIFY_EVENT_DATA*>(bytes);
    event->FilterType = CM_NOTIFY_FILTER_TYPE_DEVICEINTERFACE;
    event->Reserved = 0;
    event->u.DeviceInterface.ClassGuid = classGuid;
    auto* wideLink = reinterpret_cast<WCHAR*>(bytes + kLinkOffset);
    std::copy(wide.begin(), wide.end(), wideLink);
    wideLink[wide.size()] = L'\0';
    return storage;
}

// Connects the registration to the simulator's events; false when none answers or it
// was unregistered meanwhile. The connection is published before the reply is awaited,
// so that unregistering can always cut the wait short.
bool Subscribe(Registration& registration) {
    const int fd = ConnectToSimulator();
    if (fd < 0) {
        return false;
    }
    {
        const std::lock_guard<std::mutex> lock(registration.mutex);
        if (registration.unregistered) {
            ::close(fd);
            return false;
        }
        registration.fd = fd;
    }
    wire::Receiver receiver(fd);
    wire::Writer request(wire::Kind::Subscribe);
    std::string reply;
    if (wire::Send(fd, request) && receiver.Next(reply) &&
        wire::Reader(reply).ReadKind() == wire::Kind::SubscribeReply) {
        return true;
    }
    {
        const std::lock_guard<std::mutex> lock(registration.mutex);
        registration.fd = -1;
    }
    ::close(fd);
    return false;
}

bool Unregistered(Registration& registration) {
    const std::lock_guard<std::mutex> lock(registration.mutex);
    return registration.unregistered;
}

// Runs the callback for each event of the subscription on fd until the connection ends
// (the simulator went away, or unregistering shut it down).
void DeliverEvents(Registration* registration, int fd) {
    const auto handle = reinterpret_cast<HCMNOTIFICATION>(registration);
    wire::Receiver receiver(fd);
    std::string body;
    while (receiver.Next(body)) {
        wire::Reader event(body);
        const wire::Kind kind = event.ReadKind();
        const uint32_t action = event.U32();
        const std::string_view link = event.Bytes();
        if (kind != wire::Kind::Event || !event.ok()) {
            break;
        }
        DWORD size = 0;
        std::vector<uint64_t> data = MakeEventData(InterfaceClass(), link, &size);
        if (Unregistered(*registration)) {
            break;
        }
        registration->callback(handle, registration->context,
                               action == wire::kActionArrival
                                   ? CM_NOTIFY_ACTION_DEVICEINTERFACEARRIVAL
                                   : CM_NOTIFY_ACTION_DEVICEINTERFACEREMOVAL,
                               reinterpret_cast<PCM_NOTIFY_EVENT_DATA>(data.data()), size);
    }
}

// The registration's thread: delivers while connected, connects again while not.
void Deliver(Registration* registration) {
    std::chrono::milliseconds backoff = kFirstBackoff;
    for (;;) {
        int fd = -1;
        {
            std::unique_lock<std::mutex> lock(registration->mutex);
            if (registration->unregistered) {
                break;
            }
            fd = registration->fd;
            if (fd < 0 && registration->unregistering.wait_for(
                              lock, backoff, [&] { return registration->unregistered; })) {
                break;
            }
        }
        if (fd < 0) {
            backoff = std::min(backoff * 2, kLongestBackoff);
            Subscribe(*registration);
            continue;
        }
        backoff = kFirstBackoff;
        DeliverEvents(registration, fd);
        {
            const std::lock_guard<std::mutex> lock(registration->mutex);
            registration->fd = -1;
        }
        ::close(fd);
    }
    bool ownedByThread = false;
    int fd = -1;
    {
        const std::lock_guard<std::mutex> lock(registration->mutex);
        ownedByThread = registration->ownedByThread;
        std::swap(fd, registration->fd);  // subscribed just as it was unregistered
    }
    if (fd >= 0) {
        ::close(fd);
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
    if (pFilter->FilterType != CM_NOTIFY_FILTER_TYPE_DEVICEINTERFACE || pFilter->Reserved != 0) {
        return CR_INVALID_DATA;
    }
    if ((pFilter->Flags & ~CM_NOTIFY_FILTER_FLAG_ALL_INTERFACE_CLASSES) != 0) {
        return CR_INVALID_FLAG;
    }
    const GUID interfaceClass = InterfaceClass();
    const bool wanted = (pFilter->Flags & CM_NOTIFY_FILTER_FLAG_ALL_INTERFACE_CLASSES) != 0 ||
                        std::memcmp(&pFilter->u.DeviceInterface.ClassGuid, &interfaceClass,
                                    sizeof interfaceClass) == 0;

    auto* registration = new Registration;
    registration->context = pContext;
    registration->callback = pCallback;
    // For another class the registration stands but stays quiet. Without a simulator its
    // thread waits for one to come.
    if (wanted) {
        // Subscribed before returning: whatever arrives after registration is seen.
        Subscribe(*registration);
        try {
            registration->thread = std::thread(Deliver, registration);
        } catch (const std::system_error&) {
            if (registration->fd >= 0) {
                ::close(registration->fd);
            }
            delete registration;
            return CR_OUT_OF_MEMORY;
        }
    }
    {
        LiveRegistrations& registrations = Live();
        const std::lock_guard<std::mutex> lock(registrations.mutex);
        registrations.live.insert(registration);
    }
    *pNotifyContext = reinterpret_cast<HCMNOTIFICATION>(registration);
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
        if (registration->fd >= 0) {
            ::shutdown(registration->fd, SHUT_RDWR);  // wakes the thread from its wait
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
