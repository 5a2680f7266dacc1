#pragma once

class CommandLine;

// "set [loglevel <value>] | [<stream option> [on|off]]": report or change driver options.
int SetCommand(const CommandLine& commandLine);
