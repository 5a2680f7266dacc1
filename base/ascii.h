// Letter case by the ASCII rule only: every other byte is left as it is, whatever the
// locale says.
#pragma once

inline char AsciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Whole-string comparison without regard to ASCII letter case.
inline bool EqualsIgnoreCase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        if (AsciiUpper(*a) != AsciiUpper(*b)) {
            return false;
        }
        if (*a == '\0') {
            return true;
        }
    }
}
