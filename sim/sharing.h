// The Windows file-sharing rule in its simple form: two opens of one channel coexist
// only when each one's share mode grants the read, write and delete access of the other.
#pragma once

#include <cstdint>

bool OpensCoexist(uint32_t firstAccess, uint32_t firstShare, uint32_t secondAccess,
                  uint32_t secondShare);

// Whether a handle opened with this access may issue requests that need read access.
bool GrantsRead(uint32_t access);
