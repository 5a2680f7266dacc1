// One line to standard error for a failure that the console output does not show,
// worded like the tool's own lines: short, lower case, no full stop.
#pragma once

#include <cstdint>
#include <string>

#if defined(__GNUC__)
#define QUORVIN_PRINTF_FORMAT(f, a) __attribute__((format(printf, f, a)))
#else
#define QUORVIN_PRINTF_FORMAT(f, a)
#endif

void ReportFailure(const char* format, ...) QUORVIN_PRINTF_FORMAT(1, 2);

// A name from the command line or the driver as a message shows it: control bytes are
// written as \xHH, so that a failure is always one line.
std::string Printable(const char* name);

// value in upper-case hexadecimal digits, at least `digits` of them (leading zeros).
std::string HexDigits(uint64_t value, int digits = 1);
