// How a dump or a capture is asked to end before its work is done. ENTER and the
// console's control events (Ctrl+C, Ctrl+Break, the console closed, logoff, shutdown)
// ask it to stop at once: the block in hand is written, the files are closed, and the
// command ends as it would after ENTER. The end of standard input lets a capture finish
// the pass in progress. A second control event while the first is being honoured ends
// the process at once, the user's way out of a driver that does not answer.
//
// The state lives as long as the process: a control handler runs on a thread of the
// system's at any moment, also while a command returns.
#pragma once

#include "platform/win32.h"

// Makes the stop event (manual reset, not signalled) and starts taking control events;
// returns the event, or null when it cannot be made.
HANDLE BeginInterruptibleWork();
// The command has written and closed what it holds: a control handler waiting for that
// may return.
void EndInterruptibleWork();

// Stop at once (ENTER), or after the pass in progress (end of standard input).
void RequestStop();
void RequestStopAfterPass();

// Non-zero once a stop at once was asked for: looked at after every block.
int StopRequested();
// Non-zero when a control event asked for the stop.
int Interrupted();

// How long a control handler waits for the command to close its files before it lets
// the event take its course: well inside the few seconds that closing the console,
// logoff and shutdown leave a process.
inline constexpr DWORD INTERRUPT_GRACE_MS = 3000;
