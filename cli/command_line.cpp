#include "cli/command_line.h"

#include <cstdint>
#include <cstdlib>

#include "base/ascii.h"

namespace {

bool IsSwitch(const char* argument) {
    return argument[0] == '-' || argument[0] == '/';
}

}  // namespace

CommandLine::CommandLine(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (IsSwitch(argv[i])) {
            ++switchCount;
        } else {
            ++positionalCount;
        }
    }
    switches = std::make_unique<Switch[]>(switchCount);
    positionals = std::make_unique<const char*[]>(positionalCount);

    uint32_t switchIndex = 0;
    uint32_t positionalIndex = 0;
    for (int i = 1; i < argc; ++i) {
        char* argument = argv[i];
        for (char* c = argument; *c != '\0'; ++c) {
            *c = AsciiUpper(*c);
        }
        if (!IsSwitch(argument)) {
            positionals[positionalIndex++] = argument;
            continue;
        }
        Switch& entry = switches[switchIndex++];
        entry.letter = argument[1];
        entry.value = (argument[1] != '\0' && argument[2] == ':') ? argument + 3 : nullptr;
    }
}

int CommandLine::FindSwitch(char letter, const char** value) const {
    const char wanted = AsciiUpper(letter);
    for (uint32_t i = 0; i < switchCount; ++i) {
        if (switches[i].letter == wanted) {
            if (value != nullptr) {
                *value = switches[i].value;
            }
            return 1;
        }
    }
    return 0;
}

const char* CommandLine::GetPositional(uint32_t index) const {
    return index < positionalCount ? positionals[index] : nullptr;
}

int CommandLine::GetPositionalInt(uint32_t index, int32_t* value) const {
    const char* text = GetPositional(index);
    if (text == nullptr) {
        return 0;
    }
    const long long parsed = std::strtoll(text, nullptr, 10);
    if (parsed > INT32_MAX) {
        *value = INT32_MAX;
    } else if (parsed < INT32_MIN) {
        *value = INT32_MIN;
    } else {
        *value = static_cast<int32_t>(parsed);
    }
    return 1;
}
