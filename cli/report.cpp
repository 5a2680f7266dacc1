#include "cli/report.h"

#include <cstdarg>
#include <cstdio>

void ReportFailure(const char* format, ...) {
    // Whatever the console shows so far comes first.
    std::fflush(stdout);
    va_list arguments;
    va_start(arguments, format);
    std::vfprintf(stderr, format, arguments);  // NOLINT(clang-analyzer-valist.Uninitialized)
    va_end(arguments);
    std::fputc('\n', stderr);
}
