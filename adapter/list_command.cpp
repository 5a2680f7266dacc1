// "list": the adapters of the driver with their index and type. It takes no argument
// and no switch, so it is handed the command line only to fit the command table.

#include "adapter/configure_failure.h"
#include "adapter/vekdiag_device_list.h"
#include "base/console.h"
#include "base/exit_status.h"
#include "base/report.h"

// Declared with the other handlers in the command table's header, which stands above
// this folder; a declaration that differs from that one fails to link.
class CommandLine;
int ListCommand(const CommandLine& commandLine);

int ListCommand(const CommandLine& /*commandLine*/) {
    const VekDiagDeviceList list;
    int status = EXIT_STATUS_OK;
    ConsolePrintf("%d devices found\n", static_cast<int>(list.deviceCount));
    for (uint64_t i = 0; i < list.deviceCount; ++i) {
        const VekDiagDevice* device = list.GetDevice(i);
        ConsolePrintf("%d adapter index %d, adapter type VEK%04X\n", static_cast<int>(i),
                      device->adapterIndex, device->adapterType);
        // The line above shows zeros for what the driver did not say: say why.
        if (!device->identified) {
            ReportFailure(
                "adapter %d: %s", static_cast<int>(i),
                DescribeConfigureFailure(*device, "the adapter-information query").c_str());
            status = EXIT_STATUS_FAILED;
        }
    }
    return status;
}
