// CM_Register_Notification for interface arrivals and removals: each registration
// holds a subscription connection to the simulator and a thread of its own that runs
// the callback for one event after the other.
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <unordered_set>
#include <vector>

#include "platform/linux/win32_api.h"
#include "sim/wire.h"

namespace {

constexpr size_t kLinkOffset = offsetof(CM_NOTIFY_EVENT_DATA, u.DeviceInterface.SymbolicLink);

struct Registration {
    PVOID context = nullptr;
    PCM_NOTIFY_CALLBACK callback = nullptr;
    int fd = -1;  // -1: nothing will be delivered
    std::unique_ptr<wire::Receiver> receiver;
    std::thread thread;

    std::mutex mutex;
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

// The event record, with the symbolic link as wide characters at offset 24. Kept in
// 8-byte units so that the record is aligned as the callback expects.
std::vector<uint64_t> MakeEventData(const GUID& classGuid, std::string_view link, DWORD* size) {
    *size = static_cast<DWORD>(kLinkOffset + (link.size() + 1) * sizeof(WCHAR));
    std::vector<uint64_t> storage((*size + 7) / 8, 0);
    char* bytes = reinterpret_cast<char*>(storage.data());
    auto* event = reinterpret_cast<CM_NOTIFY_EVENT_DATA*>(bytes);
    event->FilterType = CM_NOTIFY_FILTER_TYPE_DEVICEINTERFACE;
    event->Reserved = 0;
    event->u.DeviceInterface.ClassGuid = classGuid;
    auto* wide = reinterpret_cast<WCHAR*>(bytes + kLinkOffset);
    for (size_t i = 0; i < link.size(); ++i) {
        wide[i] = static_cast<WCHAR>(static_cast<unsigned char>(link[i]));
    }
    wide[link.size()] = L'\0';
    return storage;
}

void Deliver(Registration* registration) {
    const auto handle = reinterpret_cast<HCMNOTIFICATION>(registration);
    std::string body;
    // Ends when the simulator goes away or unregistering shuts the connection down.
    while (registration->receiver->Next(body)) {
        wire::Reader event(body);
        const wire::Kind kind = event.ReadKind();
        const uint32_t action = event.U32();
        const std::string_view link = event.Bytes();
        if (kind != wire::Kind::Event || !event.ok()) {
            break;
        }
        DWORD size = 0;
        std::vector<uint64_t> data = MakeEventData(InterfaceClass(), link, &size);
        {
            const std::lock_guard<std::mutex> lock(registration->mutex);
            if (registration->unregistered) {
                break;
            }
        }
        registration->callback(handle, registration->context,
                               action == wire::kActionArrival
                                   ? CM_NOTIFY_ACTION_DEVICEINTERFACEARRIVAL
                                   : CM_NOTIFY_ACTION_DEVICEINTERFACEREMOVAL,
                               reinterpret_cast<PCM_NOTIFY_EVENT_DATA>(data.data()), size);
    }
    bool ownedByThread = false;
    {
        const std::lock_guard<std::mutex> lock(registration->mutex);
        ownedByThread = registration->ownedByThread;
    }
    if (ownedByThread) {
        ::close(registration->fd);
        delete registration;
    }
}

// Connects the registration to the simulator's events; false when none answers.
bool Subscribe(Registration& registration) {
    const int fd = wire::Connect();
    if (fd < 0) {
        return false;
    }
    auto receiver = std::make_unique<wire::Receiver>(fd);
    wire::Writer request(wire::Kind::Subscribe);
    std::string reply;
    if (!wire::Send(fd, request) || !receiver->Next(reply) ||
        wire::Reader(reply).ReadKind() != wire::Kind::SubscribeReply) {
        ::close(fd);
        return false;
    }
    registration.fd = fd;
    registration.receiver = std::move(receiver);
    return true;
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
    // Without a simulator, or for another class, the registration stands but stays quiet.
    if (wanted && Subscribe(*registration)) {
        try {
            registration->thread = std::thread(Deliver, registration);
        } catch (const std::system_error&) {
            ::close(registration->fd);
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
    if (registration->fd < 0) {
        delete registration;
        return CR_SUCCESS;
    }
    const bool fromCallback = std::this_thread::get_id() == registration->thread.get_id();
    {
        const std::lock_guard<std::mutex> lock(registration->mutex);
        registration->unregistered = true;
        registration->ownedByThread = fromCallback;
        ::shutdown(registration->fd, SHUT_RDWR);  // wakes the thread from its wait
    }
    if (fromCallback) {
        // Waiting for ourselves would never end; the thread stops when the callback returns.
        registration->thread.detach();
        return CR_SUCCESS;
    }
    // After the join no callback of this registration runs or will run.
    registration->thread.join();
    ::close(registration->fd);
    delete registration;
    return CR_SUCCESS;
}
