#include "cli/entry_point.h"

#include "base/exit_status.h"
#include "cli/command_line.h"
#include "cli/command_table.h"
#include "cli/texts.h"

int RunQuorvin(int argc, char** argv) {
    const CommandLine commandLine(argc, argv);
    if (commandLine.FindSwitch('q') == 0) {
        PrintBanner();
    }
    if (commandLine.positionalCount == 0) {
        PrintUsage();
        return EXIT_STATUS_OK;
    }
    const CommandEntry* entry = FindCommand(commandLine.GetPositional(0));
    if (entry == nullptr) {
        PrintUsage();
        return EXIT_STATUS_USAGE;
    }
    return entry->handler(commandLine);
}
