// The parsed argument vector: switches and positional arguments, counted and indexed
// separately. Built once, read-only afterwards; the strings stay the runtime's.
#pragma once

#include <cstdint>
#include <memory>

struct Switch {
    char letter;        // second character, upper-cased; NUL for a lone "-" or "/"
    const char* value;  // text after "X:", or null
};

class CommandLine {
public:
    // Upper-cases every argument after the program path in place.
    CommandLine(int argc, char** argv);

    // Non-zero when a switch with this letter (either case) is present; its value goes
    // to *value when value is given.
    int FindSwitch(char letter, const char** value = nullptr) const;
    // The positional argument at index, or null.
    const char* GetPositional(uint32_t index) const;
    // Zero when the argument is missing; otherwise its base-10 value, saturated to the
    // 32-bit range, goes to *value.
    int GetPositionalInt(uint32_t index, int32_t* value) const;

    std::unique_ptr<Switch[]> switches;
    uint32_t switchCount = 0;
    std::unique_ptr<const char*[]> positionals;
    uint32_t positionalCount = 0;
};
