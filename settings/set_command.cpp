#include "cli/command_handlers.h"

#include "adapter/adapter_choice.h"
#include "adapter/configure_failure.h"
#include "adapter/vekdiag_device_list.h"
#include "base/ascii.h"
#include "base/console.h"
#include "base/decimal.h"
#include "base/exit_status.h"
#include "base/report.h"
#include "cli/command_line.h"
#include "cli/switch_values.h"
#include "settings/stream_options.h"

namespace {

constexpr int32_t MAX_LOG_LEVEL = 65535;

int ReportOptions(VekDiagDevice& device, const CommandLine& commandLine) {
    int answered = 0;
    const uint32_t mask = device.GetStreamOptions(&answered);
    const uint32_t selected =
        commandLine.positionalCount == 2 ? FindStreamOption(commandLine.GetPositional(1)) : 0;
    for (const StreamOption& option : StreamOptionTable) {
        if (selected == 0 || selected == option.flag) {
            ConsolePrintf("\t%15s %s\n", option.name, (mask & option.flag) != 0 ? "on" : "off");
        }
    }
    if (answered == 0) {
        ReportConfigureFailure(device, "the stream-option query");
        return EXIT_STATUS_FAILED;
    }
    return EXIT_STATUS_OK;
}

int SetLogLevel(VekDiagDevice& device, const CommandLine& commandLine) {
    // Only a whole decimal number in the 16-bit range: anything else would reach the
    // driver as some other level (text as 0, which switches the log off).
    uint64_t level = 0;
    if (ParseDecimal(commandLine.GetPositional(2), PLAIN_NUMBER, MAX_LOG_LEVEL, &level) == 0) {
        ReportFailure("invalid log level %s (a number from 0 to %d)",
                      Printable(commandLine.GetPositional(2)).c_str(), MAX_LOG_LEVEL);
        return EXIT_STATUS_USAGE;
    }
    if (device.SetLogLevel(static_cast<uint16_t>(level)) == 0) {
        ReportConfigureFailure(device, "the log level");
        return EXIT_STATUS_FAILED;
    }
    return EXIT_STATUS_OK;
}

int ChangeOption(VekDiagDevice& device, const CommandLine& commandLine) {
    const char* name = commandLine.GetPositional(1);
    const char* value = commandLine.GetPositional(2);
    const uint32_t flag = FindStreamOption(name);
    if (flag == 0) {
        ReportFailure("unknown stream option %s", Printable(name).c_str());
        return EXIT_STATUS_USAGE;
    }
    int32_t enable = 0;
    if (EqualsIgnoreCase(value, "on")) {
        enable = 1;
    } else if (!EqualsIgnoreCase(value, "off")) {
        ReportFailure("invalid value %s for %s (on or off)", Printable(value).c_str(),
                      Printable(name).c_str());
        return EXIT_STATUS_USAGE;
    }
    if (device.SetStreamOption(flag, enable) == 0) {
        ReportConfigureFailure(device, "the stream option");
        return EXIT_STATUS_FAILED;
    }
    ConsolePrintf("\tset %15s %s\n", name, value);
    return EXIT_STATUS_OK;
}

}  // namespace

int SetCommand(const CommandLine& commandLine) {
    const VekDiagDeviceList list;
    AdapterChoice choice;
    int status = ParseAdapterSwitch(commandLine, &choice.byIndex, &choice.index);
    VekDiagDevice* device =
        status == EXIT_STATUS_OK ? ChooseAdapter(choice, list, &status) : nullptr;
    if (device == nullptr) {
        return status;
    }
    if (commandLine.positionalCount < 3) {
        return ReportOptions(*device, commandLine);
    }
    if (EqualsIgnoreCase(commandLine.GetPositional(1), "loglevel")) {
        return SetLogLevel(*device, commandLine);
    }
    return ChangeOption(*device, commandLine);
}
