#include "cli/report.h"

#include <cstdarg>
#include <cstdio>

#include "cli/console.h"

void ReportFailure(const char* format, ...) {
    // Whatever the console shows so far comes first, and the line takes the status
    // line's place.
    ConsoleFlush();
    HideStatusLine();
    va_list arguments;
    va_start(arguments, format);
    std::vfprintf(stderr, format, arguments);  // NOLINT(clang-analyzer-valist.Uninitialized)
    va_end(arguments);
    std::fputc('\n', stderr);
}

std::string Printable(const char* name) {
    std::string printable;
    for (const char* c = name; *c != '\0'; ++c) {
        const auto byte = static_cast<unsigned char>(*c);
        if (byte < 0x20 || byte == 0x7F) {
            printable += "\\x" + HexDigits(byte, 2);
        } else {
            printable += *c;
        }
    }
    return printable;
}

std::string HexDigits(uint64_t value, int digits) {
    static const char HEX_DIGITS[] = "0123456789ABCDEF";
    std::string hex;
    for (uint64_t rest = value; rest != 0 || static_cast<int>(hex.size()) < digits; rest /= 16) {
        hex.insert(hex.begin(), HEX_DIGITS[rest % 16]);
    }
    return hex;
}
