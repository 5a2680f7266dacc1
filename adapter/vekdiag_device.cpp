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

// Opens a channel that is not open yet; a failed open is tried again next time.
int OpenChannel(HANDLE& handle, const std::string& path, DWORD access) {
    if (handle != INVALID_HANDLE_VALUE) {
        return 1;
    }
    handle = CreateFileA(path.c_str(), access, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == nullptr) {
        handle = INVALID_HANDLE_VALUE;  // never mistake a null result for an open channel
    }
    return handle != INVALID_HANDLE_VALUE ? 1 : 0;
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
    CloseConfigureChannel();
    CloseTextLogChannel();
    CloseTimingLogChannel();
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
    return OpenChannel(configureHandle, configurePath, VEKDIAG_CONFIGURE_ACCESS);
}

int VekDiagDevice::OpenTextLogChannel() {
    return OpenChannel(textLogHandle, textLogPath, VEKDIAG_LOG_ACCESS);
}

int VekDiagDevice::OpenTimingLogChannel() {
    if (timingLogHandle == INVALID_HANDLE_VALUE) {
        timingChecker.Reset();
    }
    return OpenChannel(timingLogHandle, timingLogPath, VEKDIAG_LOG_ACCESS);
}

void VekDiagDevice::CloseConfigureChannel() {
    CloseChannel(configureHandle);
}

std::string VekDiagDevice::InterfacePath() const {
    // The configure channel's name and the separator before it.
    return configurePath.substr(0,
                                configurePath.size() - std::strlen(VEKDIAG_CONFIGURE_CHANNEL) - 1);
}

void VekDiagDevice::CloseTextLogChannel() {
    CloseChannel(textLogHandle);
}

void VekDiagDevice::CloseTimingLogChannel() {
    CloseChannel(timingLogHandle);
}

// A reply counts only when the driver said so and filled the words that are read.
int VekDiagDevice::SendQuery(uint32_t selector, DiagQueryReply* reply) {
    DiagQueryRequest request{selector};
    DWORD returned = 0;
    const BOOL ok = DeviceIoControl(configureHandle, IOCTL_DIAG_QUERY, &request, sizeof request,
                                    reply, sizeof *reply, &returned, nullptr);
    return (ok != FALSE && returned >= offsetof(DiagQueryReply, reserved8)) ? 1 : 0;
}

int VekDiagDevice::SendSetRequest(uint32_t requestCode, uint32_t parameter, uint32_t enable) {
    if (OpenConfigureChannel() == 0) {
        return 0;
    }
    DiagSetRequest request{requestCode, parameter, enable, 0};
    DWORD returned = 0;
    return DeviceIoControl(configureHandle, IOCTL_DIAG_SET, &request, sizeof request, nullptr, 0,
                           &returned, nullptr) != FALSE
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

int VekDiagDevice::ReadLogBlock(HANDLE channel, void* buffer, uint32_t capacity,
                                uint32_t* byteCount) {
    if (channel == INVALID_HANDLE_VALUE) {
        if (byteCount != nullptr) {
            *byteCount = 0;
        }
        return 0;
    }
    DWORD returned = 0;
    const BOOL ok = DeviceIoControl(channel, IOCTL_DIAG_READ_LOG, nullptr, 0, buffer, capacity,
                                    &returned, nullptr);
    if (byteCount != nullptr) {
        // A count beyond the buffer cannot be true; never let it reach a write.
        *byteCount = returned <= capacity ? returned : capacity;
    }
    return ok != FALSE ? 1 : 0;
}
