#include "tests/support/private_folder.h"

#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <system_error>

PrivateFolder::PrivateFolder() {
    // Short, so that a simulator's socket path in it stays within the address limit.
    char pattern[] = "/tmp/qv-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        throw std::runtime_error("cannot make a folder in /tmp");
    }
    path_ = pattern;
}

PrivateFolder::~PrivateFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}
