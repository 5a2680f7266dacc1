#include "adapter/adapter_choice.h"

#include "adapter/device_interface_list.h"
#include "adapter/vekdiag_device_list.h"
#include "adapter/vekdiag_protocol.h"
#include "base/exit_status.h"
#include "base/report.h"

bool Matches(const VekDiagDevice& device, const AdapterChoice& choice) {
    if (!choice.path.empty()) {
        return device.InterfacePath() == choice.path;
    }
    return !choice.byIndex || (device.identified && device.adapterIndex == choice.index);
}

VekDiagDevice* PickAdapter(const VekDiagDeviceList& list, const AdapterChoice& choice) {
    VekDiagDevice* chosen = nullptr;
    for (uint64_t i = 0; i < list.deviceCount; ++i) {
        VekDiagDevice* device = list.GetDevice(i);
        if (chosen == nullptr && Matches(*device, choice)) {
            chosen = device;
        } else {
            device->CloseConfigureChannel();
        }
    }
    return chosen;
}

AdapterChoice ChoiceOf(const VekDiagDevice& device) {
    AdapterChoice choice;
    if (device.identified) {
        choice.byIndex = true;
        choice.index = device.adapterIndex;
    } else {
        choice.path = device.InterfacePath();
    }
    return choice;
}

std::unique_ptr<VekDiagDevice> FindPresentAdapter(const AdapterChoice& choice) {
    DeviceInterfaceList found = EnumerateDeviceInterfaces(&GUID_DEVINTERFACE_VEKDIAG,
                                                          DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    std::unique_ptr<VekDiagDevice> device;
    for (const DeviceInterfaceListEntry* entry = found.head; entry != nullptr;
         entry = entry->next) {
        device = std::make_unique<VekDiagDevice>(entry->DevicePath());
        if (Matches(*device, choice)) {
            break;
        }
        device.reset();  // its configure channel closed before the next one is asked
    }
    FreeDeviceInterfaceList(&found.head);
    return device;
}

void ReportNoAdapter(const AdapterChoice& choice) {
    if (choice.byIndex) {
        ReportFailure("no adapter with index %u", static_cast<unsigned>(choice.index));
    } else {
        ReportFailure("no adapter found");
    }
}

VekDiagDevice* ChooseAdapter(const AdapterChoice& choice, const VekDiagDeviceList& list,
                             int* status) {
    VekDiagDevice* device = PickAdapter(list, choice);
    if (device == nullptr) {
        ReportNoAdapter(choice);
        *status = EXIT_STATUS_FAILED;
    }
    return device;
}
