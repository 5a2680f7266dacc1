#include "cli/switch_values.h"

#include "base/exit_status.h"
#include "base/report.h"
#include "cli/command_line.h"

namespace {

constexpr uint32_t MAX_ADAPTER_INDEX = 0xFFFF;

// A whole decimal number within the 16-bit range, and nothing else.
bool ParseIndex(const char* text, uint16_t* index) {
    uint32_t value = 0;
    if (text == nullptr || *text == '\0') {
        return false;
    }
    for (const char* c = text; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9') {
            return false;
        }
        value = value * 10 + static_cast<uint32_t>(*c - '0');
        if (value > MAX_ADAPTER_INDEX) {
            return false;
        }
    }
    *index = static_cast<uint16_t>(value);
    return true;
}

}  // namespace

int ParseAdapterSwitch(const CommandLine& commandLine, bool* given, uint16_t* index) {
    const char* value = nullptr;
    *given = commandLine.FindSwitch('a', &value) != 0;
    if (*given && !ParseIndex(value, index)) {
        ReportFailure("invalid adapter index for -a: %s (a number from 0 to %u, as list shows it)",
                      value != nullptr ? Printable(value).c_str() : "none",
                      static_cast<unsigned>(MAX_ADAPTER_INDEX));
        return EXIT_STATUS_USAGE;
    }
    return EXIT_STATUS_OK;
}
