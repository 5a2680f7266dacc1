// Standard output, for everything the program prints there (the console, a file or a
// pipe). The first write that fails is reported once on standard error with its reason;
// the output after it is dropped, and the run ends with EXIT_STATUS_FAILED.
#pragma once

#include <cstddef>

#include "cli/report.h"

// Each returns non-zero while standard output takes what it is given.
int ConsolePrintf(const char* format, ...) QUORVIN_PRINTF_FORMAT(1, 2);
int ConsoleWrite(const void* data, size_t size);
int ConsoleFlush();

// Non-zero once a write to standard output has failed.
int ConsoleFailed();
