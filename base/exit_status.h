// Exit statuses of a run: what a script sees.
#pragma once

inline constexpr int EXIT_STATUS_OK = 0;      // the command did what was asked
inline constexpr int EXIT_STATUS_FAILED = 1;  // it could not
inline constexpr int EXIT_STATUS_USAGE = 2;   // the command line was not understood
