// Names of the simulated system (interface paths, channel names) compare as Windows
// compares them: without regard to ASCII letter case, every other byte as it is.
#pragma once

inline bool SameName(const char* a, const char* b) {
    const auto upper = [](char c) {
        return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    };
    for (;; ++a, ++b) {
        if (upper(*a) != upper(*b)) {
            return false;
        }
        if (*a == '\0') {
            return true;
        }
    }
}
