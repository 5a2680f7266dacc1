// The values of switches that more than one command takes, read from the command line.
// Each says what is wrong with a value in one line and returns EXIT_STATUS_USAGE; the
// command then creates and reads nothing.
#pragma once

#include <cstdint>

class CommandLine;

// -a:N, the adapter index that list prints: *given tells whether -a is there, and
// *index receives N. EXIT_STATUS_OK, or EXIT_STATUS_USAGE when N is not a whole number
// from 0 to 65535.
int ParseAdapterSwitch(const CommandLine& commandLine, bool* given, uint16_t* index);
