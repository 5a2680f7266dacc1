#include "adapter/device_interface_list.h"

#include <cstddef>

namespace {

using DetailData = SP_DEVICE_INTERFACE_DETAIL_DATA_A;

// The detail record's own size on 64-bit Windows, which the platform checks.
static_assert(sizeof(DetailData) == 8, "SP_DEVICE_INTERFACE_DETAIL_DATA_A on x64");

// No interface path is longer than the longest path the platform can name.
constexpr DWORD MAX_DETAIL_SIZE = offsetof(DetailData, DevicePath) + 32768;

// Makes the entry of one enumerated interface, or null when its path cannot be had.
DeviceInterfaceListEntry* MakeEntry(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* interfaceData) {
    DWORD required = 0;
    SetupDiGetDeviceInterfaceDetailA(set, interfaceData, nullptr, 0, &required, nullptr);
    if (required <= offsetof(DetailData, DevicePath) || required > MAX_DETAIL_SIZE) {
        return nullptr;
    }
    auto* entry = new DeviceInterfaceListEntry;
    entry->detail = std::make_unique<uint8_t[]>(required);  // zeroed
    auto* detail = reinterpret_cast<DetailData*>(entry->detail.get());
    detail->cbSize = sizeof(DetailData);
    if (SetupDiGetDeviceInterfaceDetailA(set, interfaceData, detail, required, nullptr, nullptr) ==
        FALSE) {
        delete entry;
        return nullptr;
    }
    entry->detail[required - 1] = 0;  // the path ends inside the block, whatever was written
    return entry;
}

}  // namespace

const char* DeviceInterfaceListEntry::DevicePath() const {
    return reinterpret_cast<const DetailData*>(detail.get())->DevicePath;
}

DeviceInterfaceList EnumerateDeviceInterfaces(const GUID* interfaceClass, DWORD flags) {
    DeviceInterfaceList list;
    HDEVINFO set = SetupDiGetClassDevsA(interfaceClass, nullptr, nullptr, flags);
    if (set == INVALID_HANDLE_VALUE) {
        return list;
    }
    DeviceInterfaceListEntry** tail = &list.head;
    for (;;) {
        SP_DEVICE_INTERFACE_DATA interfaceData{};
        interfaceData.cbSize = sizeof interfaceData;
        if (SetupDiEnumDeviceInterfaces(set, nullptr, interfaceClass,
                                        static_cast<DWORD>(list.count), &interfaceData) == FALSE) {
            break;
        }
        // An interface whose path cannot be read ends the enumeration like any other
        // failed step: asking for the same member index again would never progress.
        DeviceInterfaceListEntry* entry = MakeEntry(set, &interfaceData);
        if (entry == nullptr) {
            break;
        }
        *tail = entry;
        tail = &entry->next;
        ++list.count;
    }
    SetupDiDestroyDeviceInfoList(set);
    return list;
}

void FreeDeviceInterfaceList(DeviceInterfaceListEntry** head) {
    while (*head != nullptr) {
        DeviceInterfaceListEntry* next = (*head)->next;
        delete *head;
        *head = next;
    }
}
