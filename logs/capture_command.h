#pragma once

#include <cstdint>

#include "logs/capture_options.h"
#include "logs/event_log.h"
#include "logs/log_selection.h"
#include "logs/log_sinks.h"
#include "platform/win32.h"

class VekDiagDeviceList;

// The longest wait between two passes of the capture worker.
inline constexpr DWORD CAPTURE_POLL_MS = 1000;

// What the command thread hands to the capture worker; it outlives the worker.
struct CaptureContext {
    // Parsed from the command line by the command thread.
    LogSelection selection;
    CaptureOptions options;
    // Opened by the command thread before the worker starts, closed by the worker; a
    // selected log whose sink could not be opened is not read.
    LogSink textSink;
    LogSink timingSink;
    HANDLE stopEvent = nullptr;
    // Set by the worker once it keeps what the driver logs (what the driver held is
    // dropped by then) and has shown the prompt, or once it has ended.
    HANDLE readyEvent = nullptr;
    VekDiagDeviceList* deviceList = nullptr;
    // The events file, with pieces (-s): what happened, for whoever collects the pieces;
    // null without pieces.
    EventLog* events = nullptr;
    // Written by the worker, read by the command thread after the worker has ended.
    int exitStatus = 0;
};

// "Hit "ENTER" to end log capture...": shown by the worker, so that nothing its first
// pass prints comes before it.
void ShowCapturePrompt();

// The worker: all reading and writing of a capture, one pass a poll interval.
DWORD WINAPI CaptureWorker(LPVOID context);
