// The program's fixed texts.
#pragma once

extern const char BANNER_TEXT[];
extern const char USAGE_TEXT[];
extern const char SET_HELP_TEXT[];
extern const char CAPTURE_HELP_TEXT[];

void PrintBanner();
void PrintUsage();
