// One saved timing log: read in large pieces, framed as one stream, and what was found
// printed on standard output; a file that cannot be read is one line on standard error.
#pragma once

#include <cstddef>
#include <cstdint>

// Returns the file's exit status (checkfile/check_status.h). buffer: the pieces are
// read into it, capacity bytes at a time.
int CheckTimingFile(const char* name, uint8_t* buffer, size_t capacity);
