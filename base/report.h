// One line to standard error for a failure that the console output does not show,
// worded like the tool's own lines: short, lower case, no full stop.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <string>

#if defined(__GNUC__)
#define QUORVIN_PRINTF_FORMAT(f, a) __attribute__((format(printf, f, a)))
#else
#define QUORVIN_PRINTF_FORMAT(f, a)
#endif

void ReportFailure(const char* format, ...) QUORVIN_PRINTF_FORMAT(1, 2);

// The same for an event of a long-running command that a person may want to set beside
// the system's own records (an adapter that left, the end of a capture): the line starts
// with the local date and time, "2026-12-09 03:12:44 the adapter left: ...".
void ReportEvent(const char* format, ...) QUORVIN_PRINTF_FORMAT(1, 2);

// Where every line of ReportFailure and ReportEvent also goes, without the date and time
// (a capture's events file, which dates its lines itself). Echo may be called from any
// thread that reports, one line at a time.
class ReportEcho {
public:
    ReportEcho() = default;
    virtual ~ReportEcho() = default;
    ReportEcho(const ReportEcho&) = delete;
    ReportEcho& operator=(const ReportEcho&) = delete;

    virtual void Echo(const std::string& line) = 0;
};
// From now on every report is echoed there too (null: nowhere). The echo outlives the
// reports it gets.
void EchoReports(ReportEcho* echo);

// The local date and time, "2026-12-09 03:12:44".
std::string LocalDateAndTime();

// What ReportFailure and ReportEvent are made of: the line formatted, and written with a
// prefix that the echo does not get.
std::string FormatReport(const char* format, va_list arguments);
void ReportLine(const std::string& prefix, const std::string& line);

// A name from the command line or the driver as a message shows it: control bytes are
// written as \xHH, so that a failure is always one line.
std::string Printable(const char* name);

// value in upper-case hexadecimal digits, at least `digits` of them (leading zeros).
std::string HexDigits(uint64_t value, int digits = 1);
