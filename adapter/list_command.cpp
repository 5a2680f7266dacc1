#include "adapter/list_command.h"

#include "adapter/vekdiag_device_list.h"
#include "cli/command_line.h"
#include "cli/console.h"
#include "cli/exit_status.h"

int ListCommand(const CommandLine& /*commandLine*/) {
    const VekDiagDeviceList list;
    ConsolePrintf("%d devices found\n", static_cast<int>(list.deviceCount));
    for (uint64_t i = 0; i < list.deviceCount; ++i) {
        const VekDiagDevice* device = list.GetDevice(i);
        ConsolePrintf("%d adapter index %d, adapter type VEK%04X\n", static_cast<int>(i),
                      device->adapterIndex, device->adapterType);
    }
    return EXIT_STATUS_OK;
}
