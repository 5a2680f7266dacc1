#include "logs/capture_command.h"

#include "adapter/vekdiag_device_list.h"
#include "cli/command_line.h"
#include "cli/console.h"
#include "cli/exit_status.h"
#include "cli/report.h"
#include "cli/stop_request.h"

namespace {

// ENTER asks for the stop at once; the end of standard input (or none at all) lets the
// pass in progress finish, unless the capture ends by itself: started by the system, it
// may have no input from the start. A whole line is taken, so that nothing of it is left
// for the console's next reader.
DWORD WINAPI ReadEnter(LPVOID unattended) {
    char line[512];
    DWORD count = 0;
    if (ReadFile(GetStdHandle(STD_INPUT_HANDLE), line, sizeof line, &count, nullptr) != FALSE &&
        count != 0) {
        RequestStop();
    } else if (unattended == nullptr) {
        RequestStopAfterPass();
    }
    return 0;
}

// Returns once ENTER was pressed, standard input ended or an interrupt asked for the
// stop, or a capture that ends by itself has ended. The read runs on a thread of its
// own, so that an interrupt need not wait for it; that thread may stay in its read until
// the process ends.
void AwaitStop(HANDLE stopEvent, bool unattended) {
    LPVOID parameter = unattended ? stopEvent : nullptr;
    if (stopEvent != nullptr) {
        HANDLE reader = CreateThread(nullptr, 0, ReadEnter, parameter, 0, nullptr);
        if (reader != nullptr) {
            CloseHandle(reader);
            WaitForSingleObject(stopEvent, INFINITE);
            return;
        }
    }
    if (!unattended) {
        ReadEnter(nullptr);
    }
}

// False when no selected log has a sink to go to.
bool OpenSinks(CaptureContext& context) {
    const LogSelection& selection = context.selection;
    const PieceOptions& pieces = context.options.pieces;
    bool any = false;
    if (WantsTextLog(selection)) {
        any = OpenTextLogSink(selection.textLogName, &context.textSink, pieces) != 0 || any;
    }
    if (WantsTimingLog(selection)) {
        any = OpenTimingLogSink(selection.timingLogName, &context.timingSink, pieces) != 0 || any;
    }
    return any;
}

}  // namespace

void ShowCapturePrompt() {
    ConsolePrintf("Hit \"ENTER\" to end log capture...");
    ConsoleFlush();
}

int CaptureCommand(const CommandLine& commandLine) {
    VekDiagDeviceList list;
    CaptureContext context;
    // A selection or a switch that cannot work is said at once, before anything is made.
    int usable = CheckLogSelection(commandLine, &context.selection);
    if (usable == EXIT_STATUS_OK) {
        usable = ParseCaptureOptions(commandLine, context.selection, &context.options);
    }
    if (usable != EXIT_STATUS_OK) {
        return usable;
    }
    // The files come before any adapter is read; when none of them can be had there is
    // nothing to capture.
    if (!OpenSinks(context)) {
        return EXIT_STATUS_FAILED;
    }
    // Logs that all go to files do not need standard output: a capture started by the
    // system may have none.
    if (!WantsTextLog(context.selection) || context.selection.textLogName != nullptr) {
        MakeConsoleOptional();
    }
    context.deviceList = &list;
    context.stopEvent = BeginInterruptibleWork();
    context.readyEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE worker = CreateThread(nullptr, 0, CaptureWorker, &context, 0, nullptr);
    if (worker == nullptr) {
        ReportFailure("cannot start the capture");
        context.exitStatus = EXIT_STATUS_FAILED;
        ShowCapturePrompt();
    } else if (context.readyEvent != nullptr) {
        // What is logged once the prompt shows is kept.
        WaitForSingleObject(context.readyEvent, INFINITE);
    }
    const bool unattended = context.options.Unattended();
    if (worker != nullptr || !unattended) {
        AwaitStop(context.stopEvent, unattended);
    }

    if (worker != nullptr) {
        WaitForSingleObject(worker, INFINITE);
        CloseHandle(worker);
    }
    if (context.readyEvent != nullptr) {
        CloseHandle(context.readyEvent);
    }
    EndInterruptibleWork();
    return context.exitStatus;
}
