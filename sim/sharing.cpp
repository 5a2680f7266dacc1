#include "sim/sharing.h"

#include "sim/driver_abi.h"

namespace {

// The share-mode bits an open needs from the other side, one per kind of access it asks.
uint32_t NeededShare(uint32_t access) {
    uint32_t needed = 0;
    if (GrantsRead(access)) {
        needed |= drv::SHARE_READ;
    }
    if ((access & (drv::ACCESS_GENERIC_WRITE | drv::ACCESS_GENERIC_ALL |
                   drv::ACCESS_FILE_WRITE_DATA | drv::ACCESS_FILE_APPEND_DATA)) != 0) {
        needed |= drv::SHARE_WRITE;
    }
    if ((access & (drv::ACCESS_GENERIC_ALL | drv::ACCESS_DELETE)) != 0) {
        needed |= drv::SHARE_DELETE;
    }
    return needed;
}

}  // namespace

bool GrantsRead(uint32_t access) {
    return (access &
            (drv::ACCESS_GENERIC_READ | drv::ACCESS_GENERIC_ALL | drv::ACCESS_FILE_READ_DATA)) != 0;
}

bool OpensCoexist(uint32_t firstAccess, uint32_t firstShare, uint32_t secondAccess,
                  uint32_t secondShare) {
    const uint32_t firstNeeds = NeededShare(firstAccess);
    const uint32_t secondNeeds = NeededShare(secondAccess);
    return (secondShare & firstNeeds) == firstNeeds && (firstShare & secondNeeds) == secondNeeds;
}
