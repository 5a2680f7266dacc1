// CreateFileA and DeviceIoControl for the simulator's channels: each handle is a
// connection of its own to the simulator, which answers every request synchronously.
#include <unistd.h>

#include <cstring>
#include <mutex>
#include <string>
#include <utility>

#include "platform/linux/kernel_object.h"
#include "platform/linux/simulator_connection.h"
#include "sim/wire.h"

namespace {

// Larger inputs than any control code takes are refused before they reach the device.
constexpr DWORD kMaxInput = 1u << 20;

class ChannelObject : public KernelObject {
public:
    ChannelObject(int fd, wire::Receiver receiver) : fd_(fd), receiver_(std::move(receiver)) {}

    // The simulator records the close and releases the channel before it answers, so a
    // handle closed here can be reopened at once.
    ~ChannelObject() override {
        if (connected_) {
            wire::Writer close(wire::Kind::Close);
            std::string reply;
            if (wire::Send(fd_, close)) {
                receiver_.Next(reply);
            }
        }
        ::close(fd_);
    }

    ChannelObject(const ChannelObject&) = delete;
    ChannelObject& operator=(const ChannelObject&) = delete;

    // The Win32 error of the request; *returned bytes were stored to out either way.
    DWORD Request(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize,
                  DWORD* returned) {
        *returned = 0;
        const std::lock_guard<std::mutex> lock(mutex_);
        if (!connected_) {
            return ERROR_DEVICE_NOT_CONNECTED;
        }
        wire::Writer request(wire::Kind::Ioctl, 12 + (in != nullptr ? inSize : 0));
        request.U32(code).U32(outSize).Bytes(
            std::string_view(static_cast<const char*>(in), in != nullptr ? inSize : 0));
        if (!wire::Send(fd_, request) || !receiver_.Next(reply_)) {
            connected_ = false;
            return ERROR_DEVICE_NOT_CONNECTED;
        }
        wire::Reader answer(reply_);
        const wire::Kind kind = answer.ReadKind();
        const DWORD error = answer.U32();
        const std::string_view data = answer.Bytes();
        if (kind != wire::Kind::IoctlReply || !answer.ok() || data.size() > outSize) {
            connected_ = false;
            return ERROR_DEVICE_NOT_CONNECTED;
        }
        if (!data.empty()) {
            std::memcpy(out, data.data(), data.size());
        }
        *returned = static_cast<DWORD>(data.size());
        return error;
    }

private:
    const int fd_;
    wire::Receiver receiver_;
    std::mutex mutex_;  // one request at a time on the connection
    bool connected_ = true;
    std::string reply_;
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
    // Without a simulator there are no devices to open.
    const int fd = ConnectToSimulator();
    if (fd < 0) {
        return Fail(ERROR_FILE_NOT_FOUND);
    }
    wire::Writer request(wire::Kind::Open);
    request.Bytes(lpFileName).U32(dwDesiredAccess).U32(dwShareMode);
    std::string body;
    DWORD error = ERROR_FILE_NOT_FOUND;
    wire::Receiver receiver(fd);
    if (wire::Send(fd, request) && receiver.Next(body)) {
        wire::Reader reply(body);
        const wire::Kind kind = reply.ReadKind();
        const DWORD answer = reply.U32();
        if (kind == wire::Kind::OpenReply && reply.ok()) {
            error = answer;
        }
    }
    if (error != ERROR_SUCCESS) {
        ::close(fd);
        return Fail(error);
    }
    SetLastError(ERROR_SUCCESS);
    return RegisterKernelObject(new ChannelObject(fd, std::move(receiver)));
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
    if (!UseKernelObject<ChannelObject>(hDevice, [&](ChannelObject& channel) {
            if ((lpInBuffer == nullptr && nInBufferSize != 0) ||
                (lpOutBuffer == nullptr && nOutBufferSize != 0)) {
                error = ERROR_NOACCESS;
            } else if (nInBufferSize > kMaxInput) {
                error = ERROR_INVALID_PARAMETER;
            } else {
                error = channel.Request(dwIoControlCode, lpInBuffer, nInBufferSize, lpOutBuffer,
                                        nOutBufferSize, &returned);
            }
        })) {
        error = ERROR_INVALID_HANDLE;
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
