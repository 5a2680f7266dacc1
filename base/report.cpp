#include "base/report.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <memory>

#include "base/console.h"

namespace {

std::atomic<ReportEcho*> reportEcho{nullptr};

}  // namespace

std::string FormatReport(const char* format, va_list arguments) {
    va_list again;
    va_copy(again, arguments);
    char small[512];
    const int length = std::vsnprintf(small, sizeof small, format, arguments);  // NOLINT
    std::string text;
    if (length >= 0 && static_cast<size_t>(length) < sizeof small) {
        text.assign(small, static_cast<size_t>(length));
    } else if (length >= 0) {
        const std::unique_ptr<char[]> large(new char[static_cast<size_t>(length) + 1]);
        std::vsnprintf(large.get(), static_cast<size_t>(length) + 1, format, again);  // NOLINT
        text.assign(large.get(), static_cast<size_t>(length));
    }
    va_end(again);
    return text;
}

namespace {

void Report(const std::string& prefix, const std::string& line) {
    // Whatever the console shows so far comes first, and the line takes the status
    // line's place. Standard error that cannot be written (closed, or no console) loses
    // the line; the echo still gets it.
    ConsoleFlush();
    HideStatusLine();
    const std::string whole = prefix + line + "\n";
    std::fwrite(whole.data(), 1, whole.size(), stderr);
    std::fflush(stderr);
    ReportEcho* echo = reportEcho.load();
    if (echo != nullptr) {
        echo->Echo(line);
    }
}

}  // namespace

void ReportFailure(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const std::string line = FormatReport(format, arguments);
    va_end(arguments);
    Report("", line);
}

void ReportLine(const std::string& prefix, const std::string& line) {
    Report(prefix, line);
}

void EchoReports(ReportEcho* echo) {
    reportEcho = echo;
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
