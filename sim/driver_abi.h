// The driver's side of its interface: its interface class, control codes, access rights
// and the Win32 error numbers it answers with. Written out here rather than taken from the
// program's headers, so that a wrong value on the program's side shows up as a failure.
#pragma once

#include <cstdint>

namespace drv {

// The interface class of every adapter, in GUID field order:
// {7F95AF7C-F68A-4351-BB8E-268AF28EA14C}.
struct ClassGuid {
    uint32_t data1;
    uint16_t data2;
    uint16_t data3;
    uint8_t data4[8];
};
inline constexpr ClassGuid kInterfaceClass = {
    0x7F95AF7C, 0xF68A, 0x4351, {0xBB, 0x8E, 0x26, 0x8A, 0xF2, 0x8E, 0xA1, 0x4C}};

inline constexpr uint32_t kIoctlQuery = 0xC3516000;
inline constexpr uint32_t kIoctlSet = 0xC3512004;
inline constexpr uint32_t kIoctlReadLog = 0xC3516008;

inline constexpr uint32_t kSelectorAdapterInfo = 0;
inline constexpr uint32_t kSelectorStreamOptions = 1;
inline constexpr uint32_t kSetLogLevel = 0;
inline constexpr uint32_t kSetStreamOption = 2;
inline constexpr uint32_t kSetClearCache = 3;
inline constexpr uint32_t kQueryReplySize = 12;
// First word of every query reply: "VKDG".
inline constexpr uint32_t kQueryReplyMarker = 0x47444B56;

inline constexpr uint32_t kGenericRead = 0x80000000;
inline constexpr uint32_t kGenericWrite = 0x40000000;
inline constexpr uint32_t kGenericAll = 0x10000000;
inline constexpr uint32_t kFileReadData = 0x00000001;
inline constexpr uint32_t kFileWriteData = 0x00000002;
inline constexpr uint32_t kFileAppendData = 0x00000004;
inline constexpr uint32_t kDelete = 0x00010000;
inline constexpr uint32_t kShareRead = 1;
inline constexpr uint32_t kShareWrite = 2;
inline constexpr uint32_t kShareDelete = 4;

inline constexpr uint32_t kErrorSuccess = 0;
inline constexpr uint32_t kErrorInvalidFunction = 1;
inline constexpr uint32_t kErrorFileNotFound = 2;
inline constexpr uint32_t kErrorAccessDenied = 5;
inline constexpr uint32_t kErrorGenFailure = 31;
inline constexpr uint32_t kErrorSharingViolation = 32;
inline constexpr uint32_t kErrorInvalidParameter = 87;
inline constexpr uint32_t kErrorInsufficientBuffer = 122;
inline constexpr uint32_t kErrorMoreData = 234;
inline constexpr uint32_t kErrorDeviceRemoved = 1617;

}  // namespace drv
