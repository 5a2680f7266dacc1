#include "logs/capture_command.h"

#include <cstdio>

#include "adapter/vekdiag_device_list.h"
#include "cli/command_line.h"
#include "cli/exit_status.h"
#include "cli/report.h"
#include "logs/log_selection.h"

int CaptureCommand(const CommandLine& commandLine) {
    VekDiagDeviceList list;
    CaptureContext context;
    // A selection that cannot work is said at once, not after the user presses ENTER.
    const int usable = CheckLogSelection(commandLine, &context.selection);
    if (usable != EXIT_STATUS_OK) {
        return usable;
    }
    context.keepOlderEvents = commandLine.FindSwitch('d') != 0;
    context.deviceList = &list;
    context.stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE worker = CreateThread(nullptr, 0, CaptureWorker, &context, 0, nullptr);
    if (worker == nullptr) {
        ReportFailure("cannot start the capture");
        context.exitStatus = EXIT_STATUS_FAILED;
    }

    std::printf("Hit \"ENTER\" to end log capture...");
    std::fflush(stdout);
    std::getchar();

    if (context.stopEvent != nullptr) {
        SetEvent(context.stopEvent);
    }
    if (worker != nullptr) {
        WaitForSingleObject(worker, INFINITE);
        CloseHandle(worker);
    }
    if (context.stopEvent != nullptr) {
        CloseHandle(context.stopEvent);
    }
    return context.exitStatus;
}
