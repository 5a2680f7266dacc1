#pragma once

class CommandLine;

// "list": the adapters of the driver with their index and type.
int ListCommand(const CommandLine& commandLine);
