// The files that the logs are written to, named and shared as the platform does it.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

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

// Opens the file for appending in text mode, created when missing and never emptied, such
// that no other program can write or empty it while it stays open. Null as for
// CreateLogFile.
FILE* AppendLogFile(const char* name, bool* inUse);

// Writes what the stream holds through to the disk, past the system's cache, so that a
// crash of the machine cannot lose it. Non-zero when that worked; errno says why not.
int SyncLogFile(FILE* file);

// Deletes a file that the program made. Non-zero when it is gone; errno says why not.
int DeleteLogFile(const char* name);

// The files (not folders) in the folder that NAME names a file of, each with NAME's
// folder part as written ahead of its own name, in no particular order. Zero, errno
// set, when the folder cannot be listed.
int ListFilesBeside(const char* name, std::vector<std::string>* files);

// The files that a command-line argument names. Where the shell leaves * and ? to the
// program (Windows), an argument with them gives the files that match, its folder part
// kept, folders left out, in name order, and nothing when none matches; elsewhere the
// shell has expanded the argument already and it is taken as it stands.
std::vector<std::string> ExpandFileArgument(const char* argument);

// The bytes that a line feed of a text-mode file takes on the disk, and whether two file
// names that differ only in letter case name one file.
#ifdef _WIN32
inline constexpr unsigned TEXT_LINE_FEED_BYTES = 2;  // carriage return and line feed
inline constexpr bool FILE_NAMES_IGNORE_CASE = true;
#else
inline constexpr bool FILE_NAMES_IGNORE_CASE = false;
inline constexpr unsigned TEXT_LINE_FEED_BYTES = 1;
#endif
