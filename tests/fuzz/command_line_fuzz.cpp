// Any argument vector through the whole program: parsing, dispatch and every command
// with no adapter present. It must not crash and must end with status 0, 1 or 2.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/entry_point.h"

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
    // Arguments are separated by NUL bytes. File names stay in the fuzzer's folder: a
    // slash or backslash after the first character becomes an underscore.
    std::vector<std::string> arguments(1, "quorvin");
    std::string current;
    for (size_t i = 0; i < size; ++i) {
        char c = static_cast<char>(data[i]);
        if (c == '\0') {
            arguments.push_back(current);
            current.clear();
            continue;
        }
        if ((c == '/' || c == '\\') && !current.empty()) {
            c = '_';
        }
        current += c;
    }
    arguments.push_back(current);
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    const int status = RunQuorvin(static_cast<int>(arguments.size()), argv.data());
    if (status < 0 || status > 2) {
        std::abort();
    }
    return 0;
}
