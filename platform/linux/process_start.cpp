// What every program linked with the Linux layer needs before main, as Windows gives it:
// a write to a closed pipe fails like any other write instead of ending the process.
#include <signal.h>

namespace {

[[maybe_unused]] const bool PIPES_FAIL_LIKE_FILES = [] {
    ::signal(SIGPIPE, SIG_IGN);
    return true;
}();

}  // namespace
