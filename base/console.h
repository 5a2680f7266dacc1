// Standard output, for everything the program prints there (the console, a file or a
// pipe). The first write that fails is reported once on standard error with its reason;
// the output after it is dropped, and the run ends with EXIT_STATUS_FAILED.
//
// While a capture runs, standard error may also show a status line that is rewritten in
// place (base/status_line.h). What the program prints on the same console is written
// around it: the line is taken away first and drawn again at its next update.
#pragma once

#include <cstddef>
#include <string>

#include "base/report.h"

// Each returns non-zero while standard output takes what it is given.
int ConsolePrintf(const char* format, ...) QUORVIN_PRINTF_FORMAT(1, 2);
int ConsoleWrite(const void* data, size_t size);
int ConsoleFlush();

// Non-zero once a write to standard output has failed.
int ConsoleFailed();
// What the run puts on standard output from now on is a courtesy (a capture whose logs
// all go to files, which may run where standard output is closed or missing): a failure
// to write it is neither said nor fails the run.
void MakeConsoleOptional();
// Whether a failure of standard output fails the run.
bool ConsoleRequired();
// Whether what standard output showed last ended its line (or nothing was shown yet).
bool ConsoleAtLineStart();

// Draws the status line on standard error in place of the one drawn before;
// sharesConsole: standard output shows on the same console, so its lines take the
// status line's place.
void DrawStatusLine(const std::string& text, bool sharesConsole);
// Takes the status line away, for a line of standard error in its place.
void HideStatusLine();
// Leaves the status line as it stands and starts a new line after it.
void EndStatusLine();
