#include "sim/sharing.h"

#include "sim/driver_abi.h"

namespace {

// The share-mode bits an open needs from the other side, one per kind of access it asks.
uint32_t NeededShare(uint32_t access) {
    uint32_t needed = 0;
    if (GrantsRead(access)) {
        needed |= drv::kShareRead;
    }
    if ((access & (drv::kGenericWrite | drv::kGenericAll | drv::kFileWriteData |
                   drv::kFileAppendData)) != 0) {
        needed |= drv::kShareWrite;
    }
    if ((access & (drv::kGenericAll | drv::kDelete)) != 0) {
        needed |= drv::kShareDelete;
    }
    return needed;
}

}  // namespace

bool GrantsRead(uint32_t access) {
    return (access & (drv::kGenericRead | drv::kGenericAll | drv::kFileReadData)) != 0;
}

bool OpensCoexist(uint32_t firstAccess, uint32_t firstShare, uint32_t secondAccess,
                  uint32_t secondShare) {
    const uint32_t firstNeeds = NeededShare(firstAccess);
    const uint32_t secondNeeds = NeededShare(secondAccess);
    return (secondShare & firstNeeds) == firstNeeds && (firstShare & secondNeeds) == secondNeeds;
}
