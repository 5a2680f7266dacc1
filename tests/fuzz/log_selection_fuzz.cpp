// Any positional arguments through the log selection: a valid selection always names
// a timing-log file when it wants the timing log, and every name is one of the
// arguments.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "logs/log_selection.h"
#include "tests/fuzz/fuzz_arguments.h"

namespace {

bool IsArgument(const std::vector<char*>& argv, const char* name) {
    for (size_t i = 1; i + 1 < argv.size(); ++i) {
        if (argv[i] == name) {
            return true;
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzArguments arguments(data, size, {"dump"});
    const std::vector<char*>& argv = arguments.pointers();
    const CommandLine commandLine(arguments.argc(), arguments.argv());
    LogSelection selection;
    if (ParseLogSelection(commandLine, &selection) == 0) {
        return 0;
    }
    const bool timingNamed = selection.timingLogName != nullptr;
    if (selection.logType > LogType::Both || WantsTimingLog(selection) != timingNamed ||
        (timingNamed && !IsArgument(argv, selection.timingLogName)) ||
        (selection.textLogName != nullptr && !IsArgument(argv, selection.textLogName))) {
        std::abort();
    }
    return 0;
}
