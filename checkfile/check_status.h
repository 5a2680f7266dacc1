// Exit statuses of quorvin-check, in rising order of gravity: a run ends with that of
// its worst file.
#pragma once

inline constexpr int CHECK_STATUS_CLEAN = 0;  // every file is framed cleanly
// A file has framing errors, or is no timing log: no record in it, or more bytes ahead
// of the first record than a cut record leaves.
inline constexpr int CHECK_STATUS_FRAMING_ERRORS = 1;
// A usage error, a file that cannot be read, or output that cannot be written.
inline constexpr int CHECK_STATUS_NOT_CHECKED = 2;
