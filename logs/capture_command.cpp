#include "logs/capture_command.h"

#include "cli/command_line.h"
#include "cli/exit_status.h"

int CaptureCommand(const CommandLine& /*commandLine*/) {
    return EXIT_STATUS_OK;
}
