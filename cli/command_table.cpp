#include "cli/command_table.h"

#include "base/ascii.h"
#include "cli/command_handlers.h"
#include "cli/texts.h"

const CommandEntry CommandTable[] = {
    {0, "list", ListCommand, nullptr},
    {1, "dump", DumpCommand, nullptr},
    {2, "capture", CaptureCommand, CAPTURE_HELP_TEXT},
    {3, "set", SetCommand, SET_HELP_TEXT},
    {4, "help", HelpCommand, nullptr},
    {5, "clearcache", ClearCacheCommand, nullptr},
    {COMMAND_TABLE_END_ID, nullptr, nullptr, nullptr},
};

const CommandEntry* FindCommand(const char* word) {
    for (const CommandEntry* entry = CommandTable; entry->id != COMMAND_TABLE_END_ID; ++entry) {
        if (EqualsIgnoreCase(word, entry->name)) {
            return entry;
        }
    }
    return nullptr;
}
