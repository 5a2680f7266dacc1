// The handlers of the command table: each runs one command and returns the run's exit
// status. They are defined in the part of the program that does the work (list in
// adapter/, dump and capture in logs/, set and clearcache in settings/, help here), so
// that the table needs nothing of those parts but these declarations.
#pragma once

class CommandLine;

// "list": the adapters of the driver with their index and type.
int ListCommand(const CommandLine& commandLine);

// "dump [<logtype>] [<textlog>] [<timinglog>]": copy the circular logs once.
int DumpCommand(const CommandLine& commandLine);

// "capture [-d] [<logtype>] [<textlog>] [<timinglog>]" and the switches of a long
// capture: record the logs until ENTER, or until a duration or a text ends it.
int CaptureCommand(const CommandLine& commandLine);

// "set [loglevel <value>] | [<stream option> [on|off]]": report or change driver options.
int SetCommand(const CommandLine& commandLine);

// "clearcache": ask the driver to clear its cached device capabilities.
int ClearCacheCommand(const CommandLine& commandLine);

// "help [<command>]": the command's own help text, or the usage text.
int HelpCommand(const CommandLine& commandLine);
