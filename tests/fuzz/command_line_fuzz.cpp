// Any argument vector through the whole program: parsing, dispatch and every command
// with no adapter present. It must not crash and must end with status 0, 1 or 2. A
// capture that ends by itself (-t, -w) would wait that long for an adapter, so those
// switches are left out; their values are read by the same parser as -s and -k.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "cli/entry_point.h"
#include "tests/fuzz/fuzz_arguments.h"

namespace {

// Standard input at end of file (a capture makes one pass), output discarded.
bool Prepare() {
    return std::freopen("/dev/null", "r", stdin) != nullptr &&
           std::freopen("/dev/null", "w", stdout) != nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool prepared = Prepare();
    (void)prepared;
    FuzzArguments arguments(data, size, {});
    arguments.KeepPathsLocal();
    arguments.DropSwitches("TW");
    const int status = RunQuorvin(arguments.argc(), arguments.argv());
    if (status < 0 || status > 2) {
        std::abort();
    }
    return 0;
}
