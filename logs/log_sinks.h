// The output streams of the logs: the console or a text-mode file for the text log,
// a binary file (a byte-for-byte copy of the stream) for the timing log.
#pragma once

#include <cstdio>

// Standard output when name is null, else the file created or truncated in text mode;
// null when it cannot be created, which is reported.
FILE* OpenTextLogSink(const char* name);
// The file created or truncated in binary mode; null when it cannot be, reported.
FILE* OpenTimingLogSink(const char* name);
// Closes a file sink (never standard output); non-zero when everything written reached
// the file, otherwise reports the failure.
int CloseLogSink(FILE* sink, const char* name);
// Pushes what is buffered to the file or console; non-zero when that worked.
int FlushLogSink(FILE* sink, const char* name);
