#include "cli/switch_values.h"

#include "base/decimal.h"
#include "base/exit_status.h"
#include "base/report.h"
#include "cli/command_line.h"

namespace {

constexpr uint32_t MAX_ADAPTER_INDEX = 0xFFFF;

}  // namespace

int ParseAdapterSwitch(const CommandLine& commandLine, bool* given, uint16_t* index) {
    const char* value = nullptr;
    *given = commandLine.FindSwitch('a', &value) != 0;
    if (!*given) {
        return EXIT_STATUS_OK;
    }
    uint64_t number = 0;
    if (ParseDecimal(value, PLAIN_NUMBER, MAX_ADAPTER_INDEX, &number) == 0) {
        ReportFailure("invalid adapter index for -a: %s (a number from 0 to %u, as list shows it)",
                      value != nullptr ? Printable(value).c_str() : "none",
                      static_cast<unsigned>(MAX_ADAPTER_INDEX));
        return EXIT_STATUS_USAGE;
    }
    *index = static_cast<uint16_t>(number);
    return EXIT_STATUS_OK;
}
