#include "cli/texts.h"

#include "base/console.h"

const char BANNER_TEXT[] = "\nQuorvin.exe - utility to dump logs from Orlavant WDM driver.\n\n";

const char USAGE_TEXT[] =
    "Quorvin <command> [<options>] [<arguments>]\n"
    "    list - list available adapters.\n"
    "    dump [<logtype>] [<textlog>] [<timinglog>] - dump circular log buffer(s).\n"
    "    capture [-d] [<logtype>] [<textlog>] [<timinglog>] - capture log(s),\n"
    "            '-d' include dump of older events still in buffer.\n"
    "    set <option> [<value>] - set (or get) driver option.\n"
    "    clearcache - clear registry keys containing audio device capabilities to force "
    "reenumeration.\n"
    "    help [<command>] - display this message or help for specified command.\n"
    "    <logtype> - 'text'(default), 'timing' or 'both'\n"
    "    <textlog> - name of file to receive text log (defaults to console)\n"
    "    <timinglog> - name of file to receive timing log (required if logtype is\n"
    "                  timing or both)\n";

const char SET_HELP_TEXT[] =
    "Quorvin set [loglevel <value>] || [<stream option> [<value>]]\n"
    "    stream option - \"outtimer\", \"outinterpolate\", \"intimer\" or \"ininterpolate\".\n"
    "    value - \"on\" or \"off\" for stream option (omit value to report current setting).\n"
    "    value - 0 - 5 for loglevel.  5 is VERBOSE, 0 is OFF\n"
    "    with no other parameters 'set' reports stream options\n";

const char CAPTURE_HELP_TEXT[] =
    "Quorvin capture [-d] [-s:<size> [-k:<count>]] [-t:<duration>] [-w:<text>] [-a:<index>]\n"
    "                [-f] [<logtype>] [<textlog>] [<timinglog>]\n"
    "    -d - include dump of older events still in buffer.\n"
    "    -s:<size> - write each log file in pieces of at most <size> bytes (K, M or G\n"
    "                after the number; at least 64K): NAME-00001.EXT, NAME-00002.EXT, ...\n"
    "                Pieces of earlier runs are kept, and NAME-EVENTS.TXT beside them\n"
    "                records what happened.\n"
    "    -k:<count> - keep only the newest <count> pieces of each log (with -s).\n"
    "    -t:<duration> - end the capture after <duration> (S, M, H or D after the\n"
    "                    number; seconds without).\n"
    "    -w:<text> - end the capture a second after a text-log line containing <text>.\n"
    "    -a:<index> - capture the adapter with that adapter index (as 'list' shows it).\n"
    "    -f - follow the adapter: when it leaves, keep the files open and wait for it.\n"
    "    <logtype>, <textlog>, <timinglog> - as for dump (see 'help').\n";

void PrintBanner() {
    ConsolePrintf("%s", BANNER_TEXT);
}

void PrintUsage() {
    ConsolePrintf("%s", USAGE_TEXT);
}
