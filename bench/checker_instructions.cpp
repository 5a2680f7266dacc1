// Runs the checker once over a well-formed stream, for counting its instructions with
// callgrind (collection switched on only inside CheckBlock).
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "framing/timing_log_checker.h"
#include "tests/support/timing_stream.h"

int main(int argc, char** argv) {
    const size_t bytes = (argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 4) * 1024 * 1024;
    std::vector<uint8_t> stream = MakeTimingStream(bytes);
    stream.resize(bytes);
    TimingLogChecker checker;
    int32_t errors = 0;
    for (size_t at = 0; at < stream.size(); at += 4096) {
        errors += checker.CheckBlock(stream.data() + at, 4096);
    }
    std::printf("%zu %d\n", bytes, errors);
    return errors == 0 ? 0 : 1;
}
