#pragma once

class CommandLine;

// "dump [<logtype>] [<textlog>] [<timinglog>]": copy the circular logs once.
int DumpCommand(const CommandLine& commandLine);
