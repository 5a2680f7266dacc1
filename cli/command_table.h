// The fixed table that maps command words to their handlers and help texts.
#pragma once

#include <cstdint>

class CommandLine;

// A handler runs one command and returns the run's exit status.
using CommandHandler = int (*)(const CommandLine& commandLine);

struct CommandEntry {
    uint32_t id;
    const char* name;  // lower case; null on the end row
    CommandHandler handler;
    const char* help;  // null when the command has no help text of its own
};

inline constexpr uint32_t COMMAND_TABLE_END_ID = 6;

extern const CommandEntry CommandTable[];

// The first row whose name equals word without regard to ASCII case, or null.
const CommandEntry* FindCommand(const char* word);
