#include "settings/clearcache_command.h"

#include "cli/command_line.h"
#include "cli/exit_status.h"

int ClearCacheCommand(const CommandLine& /*commandLine*/) {
    return EXIT_STATUS_OK;
}
