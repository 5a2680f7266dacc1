#include "settings/clearcache_command.h"

#include "adapter/configure_failure.h"
#include "adapter/vekdiag_device_list.h"
#include "cli/command_line.h"
#include "cli/exit_status.h"
#include "cli/report.h"

int ClearCacheCommand(const CommandLine& /*commandLine*/) {
    const VekDiagDeviceList list;
    VekDiagDevice* device = list.GetDevice(0);
    if (device == nullptr) {
        ReportFailure("no adapter found");
        return EXIT_STATUS_FAILED;
    }
    if (device->ClearCapabilityCache() == 0) {
        ReportConfigureFailure(*device, "the clear-cache request");
        return EXIT_STATUS_FAILED;
    }
    return EXIT_STATUS_OK;
}
