// The files that the logs are written to, named and shared as the platform does it.
#pragma once

#include <cstdio>

// Non-zero when both names lead to one file, existing or not yet, as the platform will
// resolve them when the file is created: made absolute, "." and ".." folded, symbolic
// links followed for the part of the path that exists (and on Windows trailing dots and
// spaces dropped and letter case ignored); or when both reach one existing file under
// any two names (a hard link).
int NameTheSameFile(const char* first, const char* second);

// Creates the file, or empties an existing one, for writing in binary or text mode, such
// that no other program can write or empty it while it stays open. Null when that cannot
// be done, nothing emptied: *inUse then tells whether another program holds the file,
// and errno says why otherwise.
FILE* CreateLogFile(const char* name, bool binary, bool* inUse);

// Writes what the stream holds through to the disk, past the system's cache, so that a
// crash of the machine cannot lose it. Non-zero when that worked; errno says why not.
int SyncLogFile(FILE* file);

// Deletes a file that the program made. Non-zero when it is gone; errno says why not.
int DeleteLogFile(const char* name);

// The bytes that a line feed of a text-mode file takes on the disk.
#ifdef _WIN32
inline constexpr unsigned TEXT_LINE_FEED_BYTES = 2;  // carriage return and line feed
#else
inline constexpr unsigned TEXT_LINE_FEED_BYTES = 1;
#endif
