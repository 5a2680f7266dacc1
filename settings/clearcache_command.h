#pragma once

class CommandLine;

// "clearcache": ask the driver to clear its cached device capabilities.
int ClearCacheCommand(const CommandLine& commandLine);
