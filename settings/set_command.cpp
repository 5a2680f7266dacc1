#include "settings/set_command.h"

#include "cli/command_line.h"
#include "cli/exit_status.h"

int SetCommand(const CommandLine& /*commandLine*/) {
    return EXIT_STATUS_OK;
}
