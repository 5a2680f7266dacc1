// SetupAPI device-information sets over the simulator's interfaces. A set is a snapshot
// of the interfaces taken when it is made; without a simulator it is empty, as on a
// machine without the driver.
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/linux/simulator_connection.h"
#include "platform/linux/win32_api.h"
#include "sim/wire.h"

namespace {

// The setup class the simulated adapters belong to (sound, video and game controllers).
constexpr GUID kMediaClass = {
    0x4D36E96C, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

struct Member {
    std::string path;
    bool present;
};

struct DeviceInfoSet {
    std::vector<Member> members;
};

struct SetRegistry {
    std::mutex mutex;
    std::unordered_map<const void*, std::shared_ptr<const DeviceInfoSet>> sets;
};

SetRegistry& Sets() {
    static auto* registry = new SetRegistry;  // outlives every static destructor
    return *registry;
}

// Sets are immutable, so a copy of the pointer is all a caller needs to use one safely.
std::shared_ptr<const DeviceInfoSet> FindSet(HDEVINFO handle) {
    SetRegistry& registry = Sets();
    const std::lock_guard<std::mutex> lock(registry.mutex);
    const auto found = registry.sets.find(handle);
    return found != registry.sets.end() ? found->second : nullptr;
}

GUID InterfaceClass() {
    GUID guid;
    static_assert(sizeof guid == sizeof wire::kInterfaceClass, "GUID layout");
    std::memcpy(&guid, &wire::kInterfaceClass, sizeof guid);
    return guid;
}

bool SameGuid(const GUID& a, const GUID& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return lower(x) == lower(y); });
}

// `\\?\ROOT#MEDIA#0003#{...}` belongs to device instance `ROOT\MEDIA\0003`.
std::string DeviceInstanceId(std::string_view path) {
    std::string_view id = path.substr(std::min<size_t>(4, path.size()));
    id = id.substr(0, id.rfind('#'));
    std::string result(id);
    std::replace(result.begin(), result.end(), '#', '\\');
    return result;
}

// With DIGCF_DEVICEINTERFACE the enumerator may name the PnP enumerator, a device
// instance or an interface.
bool MatchesEnumerator(const std::string& path, PCSTR enumerator) {
    if (enumerator == nullptr || enumerator[0] == '\0') {
        return true;
    }
    const std::string id = DeviceInstanceId(path);
    return EqualsIgnoringCase(enumerator, id.substr(0, id.find('\\'))) ||
           EqualsIgnoringCase(enumerator, id) || EqualsIgnoringCase(enumerator, path);
}

std::vector<Member> QueryInterfaces() {
    std::vector<Member> members;
    const int fd = ConnectToSimulator();
    if (fd < 0) {
        return members;
    }
    wire::Writer request(wire::Kind::Enumerate);
    std::string body;
    wire::Receiver receiver(fd);
    if (wire::Send(fd, request) && receiver.Next(body)) {
        wire::Reader reply(body);
        if (reply.ReadKind() == wire::Kind::EnumerateReply) {
            const uint32_t count = reply.U32();
            for (uint32_t i = 0; i < count && reply.ok(); ++i) {
                const std::string_view path = reply.Bytes();
                const bool present = reply.U32() != 0;
                members.push_back(Member{std::string(path), present});
            }
        }
        if (!reply.ok()) {
            members.clear();
        }
    }
    ::close(fd);
    return members;
}

// The member an interface record of this set stands for, or null.
const Member* FindMember(const DeviceInfoSet& set, const SP_DEVICE_INTERFACE_DATA& data) {
    for (const Member& member : set.members) {
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
    const bool allClasses = (Flags & DIGCF_ALLCLASSES) != 0;
    if (ClassGuid == nullptr && !allClasses) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    // An interface class picks interfaces; a setup class picks devices, whose
    // interfaces then come along.
    const GUID wanted = (Flags & DIGCF_DEVICEINTERFACE) != 0 ? InterfaceClass() : kMediaClass;
    auto set = std::make_shared<DeviceInfoSet>();
    if (allClasses || SameGuid(*ClassGuid, wanted)) {
        for (Member& member : QueryInterfaces()) {
            if ((member.present || (Flags & DIGCF_PRESENT) == 0) &&
                MatchesEnumerator(member.path, Enumerator)) {
                set->members.push_back(std::move(member));
            }
        }
    }
    SetRegistry& registry = Sets();
    const std::lock_guard<std::mutex> lock(registry.mutex);
    const void* handle = set.get();
    registry.sets.emplace(handle, std::move(set));
    return const_cast<void*>(handle);
}

BOOL SetupDiEnumDeviceInterfaces(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                 const GUID* InterfaceClassGuid, DWORD MemberIndex,
                                 PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData) {
    const std::shared_ptr<const ::DeviceInfoSet> set = FindSet(DeviceInfoSet);
    if (set == nullptr) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    // No call here hands out device records, so none can name a member of the set.
    if (InterfaceClassGuid == nullptr || DeviceInterfaceData == nullptr ||
        DeviceInfoData != nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (DeviceInterfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
        return Fail(ERROR_INVALID_USER_BUFFER);
    }
    const GUID interfaceClass = InterfaceClass();
    if (!SameGuid(*InterfaceClassGuid, interfaceClass) || MemberIndex >= set->members.size()) {
        return Fail(ERROR_NO_MORE_ITEMS);
    }
    const Member& member = set->members[MemberIndex];
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
    const std::shared_ptr<const ::DeviceInfoSet> set = FindSet(DeviceInfoSet);
    if (set == nullptr) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    if (DeviceInterfaceData == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (DeviceInterfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
        return Fail(ERROR_INVALID_USER_BUFFER);
    }
    const Member* member = FindMember(*set, *DeviceInterfaceData);
    if (member == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (DeviceInterfaceDetailData == nullptr
            ? DeviceInterfaceDetailDataSize != 0
            : DeviceInterfaceDetailData->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
        return Fail(ERROR_INVALID_USER_BUFFER);
    }
    if (DeviceInfoData != nullptr && DeviceInfoData->cbSize != sizeof(SP_DEVINFO_DATA)) {
        return Fail(ERROR_INVALID_USER_BUFFER);
    }
    const size_t required =
        offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + member->path.size() + 1;
    if (RequiredSize != nullptr) {
        *RequiredSize = static_cast<DWORD>(required);
    }
    if (DeviceInfoData != nullptr) {
        DeviceInfoData->ClassGuid = kMediaClass;
        const std::string id = DeviceInstanceId(member->path);
        DeviceInfoData->DevInst =
            static_cast<DWORD>(std::strtoul(id.c_str() + id.rfind('\\') + 1, nullptr, 10) + 1);
        DeviceInfoData->Reserved = 0;
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
    SetRegistry& registry = Sets();
    const std::lock_guard<std::mutex> lock(registry.mutex);
    if (registry.sets.erase(DeviceInfoSet) == 0) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    return TRUE;
}
