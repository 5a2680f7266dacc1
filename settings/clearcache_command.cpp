#include "cli/command_handlers.h"

#include "adapter/adapter_choice.h"
#include "adapter/configure_failure.h"
#include "adapter/vekdiag_device_list.h"
#include "base/exit_status.h"
#include "base/report.h"
#include "cli/command_line.h"
#include "cli/switch_values.h"

int ClearCacheCommand(const CommandLine& commandLine) {
    const VekDiagDeviceList list;
    AdapterChoice choice;
    int status = ParseAdapterSwitch(commandLine, &choice.byIndex, &choice.index);
    VekDiagDevice* device =
        status == EXIT_STATUS_OK ? ChooseAdapter(choice, list, &status) : nullptr;
    if (device == nullptr) {
        return status;
    }
    if (device->ClearCapabilityCache() == 0) {
        ReportConfigureFailure(*device, "the clear-cache request");
        return EXIT_STATUS_FAILED;
    }
    return EXIT_STATUS_OK;
}
