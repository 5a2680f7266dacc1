#pragma once

class CommandLine;

// "capture [-d] [<logtype>] [<textlog>] [<timinglog>]": record the logs until ENTER.
int CaptureCommand(const CommandLine& commandLine);
