#include "tests/support/fake_driver.h"

#include <strings.h>
#include <cstdio>
#include <cstring>
#include <thread>

#include "adapter/vekdiag_protocol.h"
#include "platform/linux/kernel_object.h"

namespace {

const char* const kChannelNames[3] = {VEKDIAG_CONFIGURE_CHANNEL, VEKDIAG_TEXT_LOG_CHANNEL,
                                      VEKDIAG_TIMING_LOG_CHANNEL};

std::string Hex(uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

std::string DescribeInput(const void* input, DWORD size) {
    if (input == nullptr || size == 0) {
        return "-";
    }
    std::string words;
    const auto* bytes = static_cast<const uint8_t*>(input);
    for (DWORD at = 0; at + 4 <= size; at += 4) {
        uint32_t word = 0;
        std::memcpy(&word, bytes + at, 4);
        words += (words.empty() ? "" : ",") + Hex(word, 8);
    }
    return words;
}

class FakeChannel : public KernelObject {
public:
    FakeChannel(FakeAdapter* adapter, int channel) : adapter(adapter), channel(channel) {}
    ~FakeChannel() override {
        FakeDriver& driver = FakeDriver::Get();
        const std::lock_guard<std::mutex> lock(driver.mutex);
        adapter->open[channel] = false;
        adapter->requests.push_back(std::string("close ") + kChannelNames[channel]);
    }
    FakeAdapter* const adapter;
    const int channel;
};

class FakeDeviceSet : public KernelObject {
public:
    std::vector<std::string> paths;
};

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

}  // namespace

FakeDriver& FakeDriver::Get() {
    static FakeDriver driver;
    return driver;
}

void FakeDriver::Reset() {
    const std::lock_guard<std::mutex> lock(mutex);
    adapters_.clear();
    registrations_.clear();
    failClassDevs = false;
    failDetailAt = -1;
    lastClassDevsFlags = 0;
    registerResult = CR_SUCCESS;
}

FakeAdapter& FakeDriver::AddAdapter(const std::string& interfacePath, uint16_t index,
                                    uint16_t type) {
    const std::lock_guard<std::mutex> lock(mutex);
    adapters_.push_back(std::make_unique<FakeAdapter>());
    FakeAdapter& adapter = *adapters_.back();
    adapter.interfacePath = interfacePath;
    adapter.index = index;
    adapter.type = type;
    return adapter;
}

std::vector<std::string> FakeDriver::Requests(size_t position) {
    const std::lock_guard<std::mutex> lock(mutex);
    return adapters_.at(position)->requests;
}

void FakeDriver::Notify(CM_NOTIFY_ACTION action, const std::wstring& symbolicLink) {
    const size_t size = 24 + (symbolicLink.size() + 1) * sizeof(WCHAR);
    std::vector<uint8_t> data(size);
    auto* event = reinterpret_cast<CM_NOTIFY_EVENT_DATA*>(data.data());
    event->FilterType = CM_NOTIFY_FILTER_TYPE_DEVICEINTERFACE;
    event->u.DeviceInterface.ClassGuid = GUID_DEVINTERFACE_VEKDIAG;
    std::memcpy(event->u.DeviceInterface.SymbolicLink, symbolicLink.c_str(),
                (symbolicLink.size() + 1) * sizeof(WCHAR));
    std::vector<FakeRegistration*> targets;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        for (auto& registration : registrations_) {
            targets.push_back(registration.get());
        }
    }
    std::thread platformThread([&] {
        for (FakeRegistration* registration : targets) {
            if (!registration->active) {
                continue;
            }
            registration->callback(reinterpret_cast<HCMNOTIFICATION>(registration),
                                   registration->context, action, event, static_cast<DWORD>(size));
        }
    });
    platformThread.join();
}

int FakeDriver::ActiveRegistrations() {
    const std::lock_guard<std::mutex> lock(mutex);
    int active = 0;
    for (auto& registration : registrations_) {
        active += registration->active ? 1 : 0;
    }
    return active;
}

CM_NOTIFY_FILTER FakeDriver::LastFilter() {
    const std::lock_guard<std::mutex> lock(mutex);
    return registrations_.empty() ? CM_NOTIFY_FILTER{} : registrations_.back()->filter;
}

HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/, DWORD dwCreationDisposition,
                   DWORD dwFlagsAndAttributes, HANDLE /*hTemplateFile*/) {
    FakeDriver& driver = FakeDriver::Get();
    const std::lock_guard<std::mutex> lock(driver.mutex);
    for (auto& adapter : driver.adapters_) {
        for (int channel = 0; channel < 3; ++channel) {
            const std::string path = adapter->interfacePath + "\\" + kChannelNames[channel];
            if (strcasecmp(path.c_str(), lpFileName) != 0) {
                continue;
            }
            std::string line = std::string("open ") + kChannelNames[channel] +
                               " access=" + Hex(dwDesiredAccess, 8) +
                               " share=" + Hex(dwShareMode, 1);
            if (dwCreationDisposition != OPEN_EXISTING || dwFlagsAndAttributes != 0) {
                line += " disposition=" + std::to_string(dwCreationDisposition) +
                        " flags=" + Hex(dwFlagsAndAttributes, 1);
            }
            DWORD error = adapter->openError[channel];
            if (error == ERROR_SUCCESS && adapter->open[channel] && dwShareMode == 0) {
                error = ERROR_SHARING_VIOLATION;
            }
            if (error != ERROR_SUCCESS) {
                adapter->requests.push_back(line + " -> error " + std::to_string(error));
                SetLastError(error);
                return INVALID_HANDLE_VALUE;
            }
            adapter->requests.push_back(line);
            adapter->open[channel] = true;
            return RegisterKernelObject(new FakeChannel(adapter.get(), channel));
        }
    }
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
}

BOOL DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer, DWORD nInBufferSize,
                     LPVOID lpOutBuffer, DWORD nOutBufferSize, LPDWORD lpBytesReturned,
                     LPOVERLAPPED /*lpOverlapped*/) {
    DWORD error = ERROR_SUCCESS;
    DWORD returned = 0;
    const bool live = UseKernelObject<FakeChannel>(hDevice, [&](FakeChannel& handle) {
        FakeDriver& driver = FakeDriver::Get();
        const std::lock_guard<std::mutex> lock(driver.mutex);
        FakeAdapter& adapter = *handle.adapter;
        const std::string line = "ioctl " + Hex(dwIoControlCode, 8) +
                                 " in=" + DescribeInput(lpInBuffer, nInBufferSize) +
                                 " out=" + std::to_string(nOutBufferSize);
        if (dwIoControlCode == IOCTL_DIAG_READ_LOG && handle.channel != FakeConfigure) {
            std::deque<FakeRead>& script = adapter.reads[handle.channel];
            if (!script.empty()) {
                FakeRead read = script.front();
                script.pop_front();
                returned = static_cast<DWORD>(read.bytes.size());
                if (returned != 0) {
                    std::memcpy(lpOutBuffer, read.bytes.data(), std::min(returned, nOutBufferSize));
                }
                error = read.ok ? ERROR_SUCCESS : read.error;
            }
        } else if (dwIoControlCode == IOCTL_DIAG_QUERY && handle.channel == FakeConfigure &&
                   nInBufferSize == sizeof(DiagQueryRequest) &&
                   nOutBufferSize >= sizeof(DiagQueryReply)) {
            if (adapter.rejectQuery) {
                error = ERROR_GEN_FAILURE;
            } else {
                DiagQueryReply reply{};
                if (static_cast<DiagQueryRequest*>(lpInBuffer)->selector ==
                    DIAG_QUERY_ADAPTER_INFO) {
                    reply.adapterInfo = {adapter.index, adapter.type};
                } else {
                    reply.streamOptions = adapter.options;
                }
                std::memcpy(lpOutBuffer, &reply, sizeof reply);
                returned = sizeof reply;
            }
        } else if (dwIoControlCode == IOCTL_DIAG_SET && handle.channel == FakeConfigure &&
                   nInBufferSize == sizeof(DiagSetRequest)) {
            const auto* request = static_cast<DiagSetRequest*>(lpInBuffer);
            if (adapter.rejectSet) {
                error = ERROR_GEN_FAILURE;
            } else if (request->requestCode == DIAG_SET_STREAM_OPTION) {
                adapter.options = request->enable != 0 ? (adapter.options | request->parameter)
                                                       : (adapter.options & ~request->parameter);
            }
        } else {
            error = ERROR_INVALID_FUNCTION;
        }
        adapter.requests.push_back(
            error == ERROR_SUCCESS ? line : line + " -> error " + std::to_string(error));
    });
    if (!live) {
        return FALSE;
    }
    if (lpBytesReturned != nullptr) {
        *lpBytesReturned = returned;
    }
    return error == ERROR_SUCCESS ? TRUE : Fail(error);
}

HDEVINFO SetupDiGetClassDevsA(const GUID* /*ClassGuid*/, PCSTR /*Enumerator*/, HWND /*hwndParent*/,
                              DWORD Flags) {
    FakeDriver& driver = FakeDriver::Get();
    const std::lock_guard<std::mutex> lock(driver.mutex);
    driver.lastClassDevsFlags = Flags;
    if (driver.failClassDevs) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    auto* set = new FakeDeviceSet;
    for (auto& adapter : driver.adapters_) {
        set->paths.push_back(adapter->interfacePath);
    }
    return RegisterKernelObject(set);
}

BOOL SetupDiEnumDeviceInterfaces(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA /*DeviceInfoData*/,
                                 const GUID* InterfaceClassGuid, DWORD MemberIndex,
                                 PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData) {
    BOOL found = FALSE;
    UseKernelObject<FakeDeviceSet>(DeviceInfoSet, [&](FakeDeviceSet& set) {
        if (DeviceInterfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
            Fail(ERROR_INVALID_USER_BUFFER);
        } else if (MemberIndex >= set.paths.size()) {
            Fail(ERROR_NO_MORE_ITEMS);
        } else {
            DeviceInterfaceData->InterfaceClassGuid = *InterfaceClassGuid;
            DeviceInterfaceData->Flags = 1;
            DeviceInterfaceData->Reserved = MemberIndex;
            found = TRUE;
        }
    });
    return found;
}

BOOL SetupDiGetDeviceInterfaceDetailA(HDEVINFO DeviceInfoSet,
                                      PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
                                      PSP_DEVICE_INTERFACE_DETAIL_DATA_A DeviceInterfaceDetailData,
                                      DWORD DeviceInterfaceDetailDataSize, PDWORD RequiredSize,
                                      PSP_DEVINFO_DATA /*DeviceInfoData*/) {
    BOOL result = FALSE;
    UseKernelObject<FakeDeviceSet>(DeviceInfoSet, [&](FakeDeviceSet& set) {
        const size_t member = DeviceInterfaceData->Reserved;
        if (static_cast<int>(member) == FakeDriver::Get().failDetailAt) {
            Fail(ERROR_NO_MORE_ITEMS);
            return;
        }
        const std::string& path = set.paths.at(member);
        const DWORD required = static_cast<DWORD>(
            offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + path.size() + 1);
        if (RequiredSize != nullptr) {
            *RequiredSize = required;
        }
        if (DeviceInterfaceDetailData == nullptr) {
            Fail(DeviceInterfaceDetailDataSize == 0 ? ERROR_INSUFFICIENT_BUFFER
                                                    : ERROR_INVALID_USER_BUFFER);
        } else if (DeviceInterfaceDetailData->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
            Fail(ERROR_INVALID_USER_BUFFER);
        } else if (DeviceInterfaceDetailDataSize < required) {
            Fail(ERROR_INSUFFICIENT_BUFFER);
        } else {
            std::memcpy(DeviceInterfaceDetailData->DevicePath, path.c_str(), path.size() + 1);
            result = TRUE;
        }
    });
    return result;
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet) {
    return CloseHandle(DeviceInfoSet);
}

CONFIGRET CM_Register_Notification(PCM_NOTIFY_FILTER pFilter, PVOID pContext,
                                   PCM_NOTIFY_CALLBACK pCallback, PHCMNOTIFICATION pNotifyContext) {
    FakeDriver& driver = FakeDriver::Get();
    const std::lock_guard<std::mutex> lock(driver.mutex);
    if (driver.registerResult != CR_SUCCESS) {
        return driver.registerResult;
    }
    auto registration = std::make_unique<FakeRegistration>();
    registration->filter = *pFilter;
    registration->context = pContext;
    registration->callback = pCallback;
    *pNotifyContext = reinterpret_cast<HCMNOTIFICATION>(registration.get());
    driver.registrations_.push_back(std::move(registration));
    return CR_SUCCESS;
}

CONFIGRET CM_Unregister_Notification(HCMNOTIFICATION NotifyContext) {
    FakeDriver& driver = FakeDriver::Get();
    const std::lock_guard<std::mutex> lock(driver.mutex);
    for (auto& registration : driver.registrations_) {
        if (reinterpret_cast<HCMNOTIFICATION>(registration.get()) == NotifyContext &&
            registration->active) {
            registration->active = false;
            return CR_SUCCESS;
        }
    }
    return CR_INVALID_POINTER;
}
