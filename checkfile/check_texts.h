// The fixed texts of quorvin-check.
#pragma once

extern const char CHECK_USAGE_TEXT[];

void PrintCheckUsage();
