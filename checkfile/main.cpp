#include "base/console.h"
#include "checkfile/check_entry_point.h"
#include "checkfile/check_status.h"

int main(int argc, char** argv) {
    int status = RunQuorvinCheck(argc, argv);
    // Output that never arrived means the check was not seen, also when found only now.
    if (ConsoleFlush() == 0) {
        status = CHECK_STATUS_NOT_CHECKED;
    }
    return status;
}
