// SetupAPI device-information sets over the driver's interfaces, for what the program
// asks: the interfaces of one interface class, present ones or all. A set is a snapshot
// of the interfaces taken when it is made; without a driver it is empty, as on a machine
// without the driver. Setup classes, enumerator filters and device records are not part
// of this layer.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/linux/driver_port.h"
#include "platform/linux/kernel_object.h"

namespace {

constexpr DWORD KNOWN_FLAGS = DIGCF_PRESENT | DIGCF_DEVICEINTERFACE;

struct DeviceInfoSet : KernelObject {
    std::vector<DriverInterface> members;
};

bool SameGuid(const GUID& a, const GUID& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// The member an interface record of this set stands for, or null.
const DriverInterface* FindMember(const DeviceInfoSet& set, const SP_DEVICE_INTERFACE_DATA& data) {
    for (const DriverInterface& member : set.members) {
        if (data.Reserved == reinterpret_cast<ULONG_PTR>(&member)) {
            return &member;
        }
    }
    return nullptr;
}

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

}  // namespace

HDEVINFO SetupDiGetClassDevsA(const GUID* ClassGuid, PCSTR Enumerator, HWND /*hwndParent*/,
                              DWORD Flags) {
    if (ClassGuid == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    if ((Flags & DIGCF_DEVICEINTERFACE) == 0 || (Flags & ~KNOWN_FLAGS) != 0 ||
        Enumerator != nullptr) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return INVALID_HANDLE_VALUE;
    }
    auto set = std::make_shared<DeviceInfoSet>();
    if (SameGuid(*ClassGuid, DriverInterfaceClass())) {
        std::vector<DriverInterface> interfaces;
        const DWORD error = ListDriverInterfaces(&interfaces);
        if (error != ERROR_SUCCESS) {
            SetLastError(error);
            return INVALID_HANDLE_VALUE;
        }
        for (DriverInterface& member : interfaces) {
            if (member.present || (Flags & DIGCF_PRESENT) == 0) {
                set->members.push_back(std::move(member));
            }
        }
    }
    return RegisterKernelObject(std::move(set));
}

BOOL SetupDiEnumDeviceInterfaces(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                 const GUID* InterfaceClassGuid, DWORD MemberIndex,
                                 PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData) {
    const std::shared_ptr<::DeviceInfoSet> set = FindKernelObject<::DeviceInfoSet>(DeviceInfoSet);
    if (set == nullptr) {
        return FALSE;
    }
    // No call here hands out device records, so none can name a member of the set.
    if (InterfaceClassGuid == nullptr || DeviceInterfaceData == nullptr ||
        DeviceInfoData != nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (DeviceInterfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
        return Fail(ERROR_INVALID_USER_BUFFER);
    }
    const GUID interfaceClass = DriverInterfaceClass();
    if (!SameGuid(*InterfaceClassGuid, interfaceClass) || MemberIndex >= set->members.size()) {
        return Fail(ERROR_NO_MORE_ITEMS);
    }
    const DriverInterface& member = set->members[MemberIndex];
    DeviceInterfaceData->InterfaceClassGuid = interfaceClass;
    DeviceInterfaceData->Flags = member.present ? SPINT_ACTIVE : 0;
    DeviceInterfaceData->Reserved = reinterpret_cast<ULONG_PTR>(&member);
    return TRUE;
}

BOOL SetupDiGetDeviceInterfaceDetailA(HDEVINFO DeviceInfoSet,
                                      PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
                                      PSP_DEVICE_INTERFACE_DETAIL_DATA_A DeviceInterfaceDetailData,
                                      DWORD DeviceInterfaceDetailDataSize, PDWORD RequiredSize,
                                      PSP_DEVINFO_DATA DeviceInfoData) {
    const std::shared_ptr<::DeviceInfoSet> set = FindKernelObject<::DeviceInfoSet>(DeviceInfoSet);
    if (set == nullptr) {
        return FALSE;
    }
    if (DeviceInterfaceData == nullptr || DeviceInfoData != nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (DeviceInterfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
        return Fail(ERROR_INVALID_USER_BUFFER);
    }
    const DriverInterface* member = FindMember(*set, *DeviceInterfaceData);
    if (member == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (DeviceInterfaceDetailData == nullptr
            ? DeviceInterfaceDetailDataSize != 0
            : DeviceInterfaceDetailData->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
        return Fail(ERROR_INVALID_USER_BUFFER);
    }
    const size_t required =
        offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + member->path.size() + 1;
    if (RequiredSize != nullptr) {
        *RequiredSize = static_cast<DWORD>(required);
    }
    if (DeviceInterfaceDetailDataSize < required) {
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    // The path runs past the declared one-character array, into the caller's buffer.
    char* devicePath = reinterpret_cast<char*>(DeviceInterfaceDetailData) +
                       offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
    std::memcpy(devicePath, member->path.c_str(), member->path.size() + 1);
    return TRUE;
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet) {
    return CloseKernelObject<::DeviceInfoSet>(DeviceInfoSet) ? TRUE : FALSE;
}
