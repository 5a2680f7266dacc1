#include "base/console.h"
#include "base/exit_status.h"
#include "cli/entry_point.h"

int main(int argc, char** argv) {
    int status = RunQuorvin(argc, argv);
    // Output that never arrived is a failure, also when it is found only now, unless it
    // was a courtesy.
    if (ConsoleFlush() == 0 && status == EXIT_STATUS_OK && ConsoleRequired()) {
        status = EXIT_STATUS_FAILED;
    }
    return status;
}
