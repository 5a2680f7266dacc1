#include "adapter/vekdiag_device.h"

#include <cstring>
#include <cwchar>
#include <memory>

namespace {

std::string ChannelPath(const char* interfacePath, const char* channelName) {
    std::string path(interfacePath);
    path += '\\';
    path += channelName;
    return path;
}

void CloseChannel(HANDLE& handle) {
    if (handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
        handle = INVALID_HANDLE_VALUE;
    }
}

}  // namespace

std::string NarrowInterfacePath(const WCHAR* path) {
    const size_t length = std::wcslen(path);
    const size_t size = 2 * length + 1;
    std::unique_ptr<char[]> narrow(new char[size]);
    if (std::snprintf(narrow.get(), size, "%S", path) >= 0) {
        return narrow.get();
    }
    // Not representable in the current locale: keep the ASCII characters.
    std::string fallback;
    fallback.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        fallback += (path[i] > 0 && path[i] < 0x80) ? static_cast<char>(path[i]) : '?';
    }
    return fallback;
}

VekDiagDevice::VekDiagDevice(const char* interfacePath) {
    timingChecker.Reset();
    Initialize(interfacePath);
}

VekDiagDevice::VekDiagDevice(const WCHAR* interfacePath) {
    timingChecker.Reset();
    Initialize(NarrowInterfacePath(interfacePath).c_str());
}

VekDiagDevice::~VekDiagDevice() {
    // No notification runs after this; then nothing else can touch the handles.
    EndRegistration();
    CloseChannel(configureHandle);
    CloseChannel(textLogHandle);
    CloseChannel(timingLogHandle);
}

// Opens a channel that is not open yet; a failed open is tried again next time, but none
// while the system is removing the adapter.
int VekDiagDevice::Open(HANDLE& handle, const std::string& path, DWORD access) {
    std::unique_lock<std::mutex> lock(handleLock_);
    if (handle != INVALID_HANDLE_VALUE) {
        return 1;
    }
    const DeviceRemoval removal = removal_.load();
    if (removal == DeviceRemoval::LetGo || removal == DeviceRemoval::Removed) {
        return 0;
    }
    HANDLE opened = CreateFileA(path.c_str(), access, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (opened == nullptr) {
        opened = INVALID_HANDLE_VALUE;  // never mistake a null result for an open channel
    }
    handle = opened;
    lock.unlock();
    if (opened == INVALID_HANDLE_VALUE) {
        return 0;
    }
    if (notification_ == nullptr) {
        Register(opened);
    }
    return 1;
}

// The device's own close; the registration ends with the last channel, unless the
// system's removal is under way, whose outcome the owner still wants to learn.
void VekDiagDevice::Close(HANDLE& handle) {
    bool none = false;
    {
        const std::lock_guard<std::mutex> lock(handleLock_);
        CloseChannel(handle);
        none = !AnyOpen();
    }
    if (none && removal_.load() == DeviceRemoval::None) {
        EndRegistration();
    }
}

bool VekDiagDevice::AnyOpen() const {
    return configureHandle != INVALID_HANDLE_VALUE || textLogHandle != INVALID_HANDLE_VALUE ||
           timingLogHandle != INVALID_HANDLE_VALUE;
}

BOOL VekDiagDevice::Request(const HANDLE& handle, DWORD code, void* in, DWORD inSize, void* out,
                            DWORD outSize, DWORD* returned) {
    const std::lock_guard<std::mutex> lock(handleLock_);
    if (handle == INVALID_HANDLE_VALUE) {
        *returned = 0;
        return FALSE;
    }
    return DeviceIoControl(handle, code, in, inSize, out, outSize, returned, nullptr);
}

// A system without these notifications (no CM_Register_Notification) leaves the device
// unregistered: a removal that asks first is then refused while a handle is open, as for
// any program that holds one.
void VekDiagDevice::Register(HANDLE handle) {
    CM_NOTIFY_FILTER filter{};
    filter.cbSize = sizeof filter;
    filter.FilterType = CM_NOTIFY_FILTER_TYPE_DEVICEHANDLE;
    filter.u.DeviceHandle.hTarget = handle;
    if (RegisterCmNotification(&filter, this, OnHandleNotification, &notification_) != CR_SUCCESS) {
        notification_ = nullptr;
    }
}

void VekDiagDevice::EndRegistration() {
    if (notification_ != nullptr) {
        UnregisterCmNotification(notification_);  // waits for a notification in progress
        notification_ = nullptr;
    }
}

void VekDiagDevice::LetGoOfHandles(DeviceRemoval removal) {
    const std::lock_guard<std::mutex> lock(handleLock_);
    if (removal == DeviceRemoval::LetGo) {
        textLetGo_ = textLogHandle != INVALID_HANDLE_VALUE;
        timingLetGo_ = timingLogHandle != INVALID_HANDLE_VALUE;
    }
    CloseChannel(configureHandle);
    CloseChannel(textLogHandle);
    CloseChannel(timingLogHandle);
    removal_ = removal;
}

// On the system's notification thread: the handles are closed before the answer, so that
// a removal goes ahead.
DWORD CALLBACK VekDiagDevice::OnHandleNotification(HCMNOTIFICATION /*notification*/, PVOID context,
                                                   CM_NOTIFY_ACTION action,
                                                   PCM_NOTIFY_EVENT_DATA /*eventData*/,
                                                   DWORD /*eventDataSize*/) {
    auto* device = static_cast<VekDiagDevice*>(context);
    switch (action) {
        case CM_NOTIFY_ACTION_DEVICEQUERYREMOVE:
            device->LetGoOfHandles(DeviceRemoval::LetGo);
            break;
        case CM_NOTIFY_ACTION_DEVICEQUERYREMOVEFAILED: {
            DeviceRemoval asked = DeviceRemoval::LetGo;
            device->removal_.compare_exchange_strong(asked, DeviceRemoval::Refused);
            break;
        }
        case CM_NOTIFY_ACTION_DEVICEREMOVEPENDING:
        case CM_NOTIFY_ACTION_DEVICEREMOVECOMPLETE:
            device->LetGoOfHandles(DeviceRemoval::Removed);
            break;
        default:
            break;
    }
    return ERROR_SUCCESS;
}

int VekDiagDevice::Resume() {
    if (removal_.load() != DeviceRemoval::Refused) {
        return removal_.load() == DeviceRemoval::None ? 1 : 0;
    }
    EndRegistration();  // made for the handles let go; the first open registers anew
    removal_ = DeviceRemoval::None;
    const bool text = !textLetGo_ || Open(textLogHandle, textLogPath, VEKDIAG_LOG_ACCESS) != 0;
    const bool timing =
        !timingLetGo_ || Open(timingLogHandle, timingLogPath, VEKDIAG_LOG_ACCESS) != 0;
    return text && timing ? 1 : 0;
}

void VekDiagDevice::Initialize(const char* interfacePath) {
    configurePath = ChannelPath(interfacePath, VEKDIAG_CONFIGURE_CHANNEL);
    textLogPath = ChannelPath(interfacePath, VEKDIAG_TEXT_LOG_CHANNEL);
    timingLogPath = ChannelPath(interfacePath, VEKDIAG_TIMING_LOG_CHANNEL);
    if (OpenConfigureChannel() == 0) {
        return;
    }
    DiagQueryReply reply{};
    if (SendQuery(DIAG_QUERY_ADAPTER_INFO, &reply) != 0) {
        adapterIndex = reply.adapterInfo.adapterIndex;
        adapterType = reply.adapterInfo.adapterType;
        identified = true;
    }
}

int VekDiagDevice::OpenConfigureChannel() {
    return Open(configureHandle, configurePath, VEKDIAG_CONFIGURE_ACCESS);
}

int VekDiagDevice::OpenTextLogChannel() {
    return Open(textLogHandle, textLogPath, VEKDIAG_LOG_ACCESS);
}

int VekDiagDevice::OpenTimingLogChannel() {
    if (timingLogHandle == INVALID_HANDLE_VALUE) {
        timingChecker.Reset();
    }
    return Open(timingLogHandle, timingLogPath, VEKDIAG_LOG_ACCESS);
}

void VekDiagDevice::CloseConfigureChannel() {
    Close(configureHandle);
}

std::string VekDiagDevice::InterfacePath() const {
    // The configure channel's name and the separator before it.
    return configurePath.substr(0,
                                configurePath.size() - std::strlen(VEKDIAG_CONFIGURE_CHANNEL) - 1);
}

void VekDiagDevice::CloseTextLogChannel() {
    Close(textLogHandle);
}

void VekDiagDevice::CloseTimingLogChannel() {
    Close(timingLogHandle);
}

// A reply counts only when the driver said so and filled the words that are read.
int VekDiagDevice::SendQuery(uint32_t selector, DiagQueryReply* reply) {
    DiagQueryRequest request{selector};
    DWORD returned = 0;
    const BOOL ok = Request(configureHandle, IOCTL_DIAG_QUERY, &request, sizeof request, reply,
                            sizeof *reply, &returned);
    return (ok != FALSE && returned >= offsetof(DiagQueryReply, reserved8)) ? 1 : 0;
}

int VekDiagDevice::SendSetRequest(uint32_t requestCode, uint32_t parameter, uint32_t enable) {
    if (OpenConfigureChannel() == 0) {
        return 0;
    }
    DiagSetRequest request{requestCode, parameter, enable, 0};
    DWORD returned = 0;
    return Request(configureHandle, IOCTL_DIAG_SET, &request, sizeof request, nullptr, 0,
                   &returned) != FALSE
               ? 1
               : 0;
}

uint32_t VekDiagDevice::GetStreamOptions(int* succeeded) {
    DiagQueryReply reply{};
    const int ok = OpenConfigureChannel() != 0 && SendQuery(DIAG_QUERY_STREAM_OPTIONS, &reply) != 0;
    if (succeeded != nullptr) {
        *succeeded = ok;
    }
    return ok != 0 ? reply.streamOptions : 0;
}

int VekDiagDevice::SetStreamOption(uint32_t flag, int32_t enable) {
    return SendSetRequest(DIAG_SET_STREAM_OPTION, flag, static_cast<uint32_t>(enable));
}

int VekDiagDevice::SetLogLevel(uint16_t level) {
    return SendSetRequest(DIAG_SET_LOG_LEVEL, level, 0);
}

int VekDiagDevice::ClearCapabilityCache() {
    return SendSetRequest(DIAG_SET_CLEAR_CACHE, 0, 0);
}

int VekDiagDevice::ReadLogBlock(LogChannel channel, void* buffer, uint32_t capacity,
                                uint32_t* byteCount) {
    DWORD returned = 0;
    const BOOL ok = Request(channel == LogChannel::TextLog ? textLogHandle : timingLogHandle,
                            IOCTL_DIAG_READ_LOG, nullptr, 0, buffer, capacity, &returned);
    if (byteCount != nullptr) {
        // A count beyond the buffer cannot be true; never let it reach a write.
        *byteCount = returned <= capacity ? returned : capacity;
    }
    return ok != FALSE ? 1 : 0;
}
