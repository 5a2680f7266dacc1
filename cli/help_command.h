#pragma once

class CommandLine;

// "help [<command>]": the command's own help text, or the usage text.
int HelpCommand(const CommandLine& commandLine);
