#include <cstdio>

#include "cli/entry_point.h"

int main(int argc, char** argv) {
    const int status = RunQuorvin(argc, argv);
    std::fflush(stdout);
    return status;
}
