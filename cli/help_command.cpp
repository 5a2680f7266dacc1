#include "cli/command_handlers.h"

#include "base/console.h"
#include "base/exit_status.h"
#include "cli/command_line.h"
#include "cli/command_table.h"
#include "cli/texts.h"

int HelpCommand(const CommandLine& commandLine) {
    if (commandLine.positionalCount >= 2) {
        const CommandEntry* entry = FindCommand(commandLine.GetPositional(1));
        if (entry != nullptr && entry->help != nullptr) {
            ConsolePrintf("%s", entry->help);
            return EXIT_STATUS_OK;
        }
    }
    PrintUsage();
    return EXIT_STATUS_OK;
}
