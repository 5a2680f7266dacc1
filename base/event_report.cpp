// Event lines: a failure line with the local date and time before it. Apart from
// report.cpp, which quorvin-check links, since only these need the system's clock.
#include <cstdarg>
#include <cstdio>

#include "base/report.h"
#include "platform/win32.h"

void ReportEvent(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const std::string line = FormatReport(format, arguments);
    va_end(arguments);
    ReportLine(LocalDateAndTime() + " ", line);
}

std::string LocalDateAndTime() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    char text[64];  // room for any value of each field
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u",
                  static_cast<unsigned>(now.wYear), static_cast<unsigned>(now.wMonth),
                  static_cast<unsigned>(now.wDay), static_cast<unsigned>(now.wHour),
                  static_cast<unsigned>(now.wMinute), static_cast<unsigned>(now.wSecond));
    return text;
}
