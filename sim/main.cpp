// vekdiag-sim: the driver simulator. `serve` runs it; every other command controls the
// running one.
#include <cstdio>
#include <string>
#include <vector>

#include "sim/command_syntax.h"
#include "sim/control_client.h"
#include "sim/server.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::fputs(USAGE, stderr);
        return 2;
    }
    if (args[0] == "help" || args[0] == "--help" || args[0] == "-h") {
        std::fputs(USAGE, stdout);
        return 0;
    }
    if (args[0] != "serve") {
        return RunControl(args);
    }
    std::string error;
    const std::optional<ServeOptions> options =
        ParseServeOptions(std::vector<std::string>(args.begin() + 1, args.end()), &error);
    if (!options) {
        std::fprintf(stderr, "vekdiag-sim: %s\n%s", error.c_str(), USAGE);
        return 2;
    }
    return Serve(*options);
}
