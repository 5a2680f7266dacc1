// Writes a timing log of well-formed records, for timing quorvin-check on a file:
//   timing_file PATH MIB
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "tests/support/timing_stream.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: timing_file PATH MIB\n");
        return 2;
    }
    const size_t bytes = std::strtoul(argv[2], nullptr, 10) * 1024 * 1024;
    // Whole records, so that the copies join into one well-formed stream.
    const std::vector<uint8_t> records = MakeTimingStream(size_t{1} << 20);
    std::FILE* file = std::fopen(argv[1], "wb");
    if (file == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    for (size_t written = 0; written < bytes;) {
        const size_t n = std::min(records.size(), bytes - written);
        if (std::fwrite(records.data(), 1, n, file) != n) {
            std::perror(argv[1]);
            return 1;
        }
        written += n;
    }
    return std::fclose(file) == 0 ? 0 : 1;
}
