#include "logs/capture_command.h"

#include "adapter/vekdiag_device_list.h"
#include "base/console.h"
#include "base/exit_status.h"
#include "base/report.h"
#include "base/stop_request.h"
#include "cli/command_handlers.h"
#include "cli/command_line.h"

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

// The command line as the run took it (upper-cased), for the events file.
std::string DescribeCommandLine(const CommandLine& commandLine) {
    std::string line = "quorvin";
    for (uint32_t i = 0; i < commandLine.switchCount; ++i) {
        const Switch& given = commandLine.switches[i];
        line += " -";
        line += given.letter != '\0' ? given.letter : ' ';
        if (given.value != nullptr) {
            line += ':' + Printable(given.value);
        }
    }
    for (uint32_t i = 0; i < commandLine.positionalCount; ++i) {
        line += ' ' + Printable(commandLine.GetPositional(i));
    }
    return line;
}

// With pieces, the events file beside the first log's: opened before anything else is
// made, so that what fails is in it too; kept across restarts.
void OpenEvents(const CommandLine& commandLine, CaptureContext& context, EventLog& events) {
    const LogSelection& selection = context.selection;
    if (context.options.pieces.size == 0) {
        return;
    }
    const char* first = WantsTextLog(selection) && selection.textLogName != nullptr
                            ? selection.textLogName
                            : selection.timingLogName;
    if (events.Open(EventsFileName(first)) == 0) {
        return;  // said; the capture goes on without it
    }
    context.events = &events;
    EchoReports(&events);
    events.Line("capture started: version " QUORVIN_VERSION ", " +
                DescribeCommandLine(commandLine));
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
    EventLog events;
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
    OpenEvents(commandLine, context, events);
    if (!OpenSinks(context)) {
        events.Line("capture ended as no log file could be had: exit status 1");
        EchoReports(nullptr);
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
    EchoReports(nullptr);
    events.Close();
    EndInterruptibleWork();
    return context.exitStatus;
}
