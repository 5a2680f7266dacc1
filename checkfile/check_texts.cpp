#include "checkfile/check_texts.h"

#include "base/console.h"

const char CHECK_USAGE_TEXT[] =
    "quorvin-check FILE...\n"
    "    Checks saved timing logs (the <timinglog> file of dump or capture): frames each\n"
    "    FILE as one stream by the tool's rules, prints a line for each framing error\n"
    "    with its byte offset and kind, and one for a record cut off at the end, then a\n"
    "    summary line:\n"
    "    summary size=<bytes> records=<count> skipped_at_start=<bytes> errors=<count>\n"
    "            bad_length=<count> no_next_sync=<count> incomplete_at_end=<bytes>\n"
    "            file=<FILE>\n"
    "    The error count of a whole file can differ from the \"detected N errors in\n"
    "    timing log\" lines of the capture that wrote it: those depend on where the\n"
    "    driver's blocks ended.\n"
    "    A file with no record, or with more than 25 bytes ahead of its first one, is\n"
    "    no timing log: said in one line.\n"
    "    Exit status: 0 every file is clean, 1 framing errors or no timing log, 2 a\n"
    "    usage error or a file that cannot be read.\n";

void PrintCheckUsage() {
    ConsolePrintf("%s", CHECK_USAGE_TEXT);
}
