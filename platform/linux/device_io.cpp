// CreateFileA and DeviceIoControl for the driver's channels: each handle holds one open
// channel of the port, which answers every request before the call returns.
#include "platform/linux/device_io.h"

#include <memory>
#include <utility>

#include "platform/linux/driver_port.h"
#include "platform/linux/kernel_object.h"

namespace {

// Larger inputs than any control code takes are refused before they reach the device.
constexpr DWORD MAX_INPUT_BYTES = 1u << 20;

class ChannelObject : public KernelObject {
public:
    ChannelObject(std::unique_ptr<DriverChannel> channel, std::string devicePath)
        : channel(std::move(channel)), devicePath(std::move(devicePath)) {}
    const std::unique_ptr<DriverChannel> channel;
    const std::string devicePath;
};

HANDLE Fail(DWORD error) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

}  // namespace

HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/, DWORD dwCreationDisposition,
                   DWORD /*dwFlagsAndAttributes*/, HANDLE /*hTemplateFile*/) {
    if (lpFileName == nullptr || dwCreationDisposition != OPEN_EXISTING) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    std::unique_ptr<DriverChannel> channel;
    const DWORD error = OpenDriverChannel(lpFileName, dwDesiredAccess, dwShareMode, &channel);
    if (error != ERROR_SUCCESS) {
        return Fail(error);
    }
    // The driver found the channel, so the name has a backslash before the channel's name.
    const std::string name(lpFileName);
    SetLastError(ERROR_SUCCESS);
    return RegisterKernelObject(
        std::make_shared<ChannelObject>(std::move(channel), name.substr(0, name.rfind('\\'))));
}

BOOL DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer, DWORD nInBufferSize,
                     LPVOID lpOutBuffer, DWORD nOutBufferSize, LPDWORD lpBytesReturned,
                     LPOVERLAPPED lpOverlapped) {
    // Handles are never opened for overlapped I/O here, so the request always completes
    // before the call returns.
    if (lpBytesReturned == nullptr && lpOverlapped == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD returned = 0;
    DWORD error = ERROR_SUCCESS;
    const std::shared_ptr<ChannelObject> device = FindKernelObject<ChannelObject>(hDevice);
    if (device == nullptr) {
        error = ERROR_INVALID_HANDLE;
    } else if ((lpInBuffer == nullptr && nInBufferSize != 0) ||
               (lpOutBuffer == nullptr && nOutBufferSize != 0)) {
        error = ERROR_NOACCESS;
    } else if (nInBufferSize > MAX_INPUT_BYTES) {
        error = ERROR_INVALID_PARAMETER;
    } else {
        error = device->channel->Request(dwIoControlCode, lpInBuffer, nInBufferSize, lpOutBuffer,
                                         nOutBufferSize, &returned);
    }
    if (lpBytesReturned != nullptr) {
        *lpBytesReturned = returned;
    }
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

bool ChannelDevicePath(HANDLE handle, std::string* devicePath) {
    const DWORD error = GetLastError();
    const std::shared_ptr<ChannelObject> device = FindKernelObject<ChannelObject>(handle);
    SetLastError(error);
    if (device == nullptr) {
        return false;
    }
    *devicePath = device->devicePath;
    return true;
}
