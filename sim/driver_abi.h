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
inline constexpr ClassGuid INTERFACE_CLASS = {
    0x7F95AF7C, 0xF68A, 0x4351, {0xBB, 0x8E, 0x26, 0x8A, 0xF2, 0x8E, 0xA1, 0x4C}};

inline constexpr uint32_t IOCTL_QUERY = 0xC3516000;
inline constexpr uint32_t IOCTL_SET = 0xC3512004;
inline constexpr uint32_t IOCTL_READ_LOG = 0xC3516008;

inline constexpr uint32_t SELECTOR_ADAPTER_INFO = 0;
inline constexpr uint32_t SELECTOR_STREAM_OPTIONS = 1;
inline constexpr uint32_t SET_LOG_LEVEL = 0;
inline constexpr uint32_t SET_STREAM_OPTION = 2;
inline constexpr uint32_t SET_CLEAR_CACHE = 3;
inline constexpr uint32_t QUERY_REPLY_SIZE = 12;
// First word of every query reply: "VKDG".
inline constexpr uint32_t QUERY_REPLY_MARKER = 0x47444B56;

inline constexpr uint32_t ACCESS_GENERIC_READ = 0x80000000;
inline constexpr uint32_t ACCESS_GENERIC_WRITE = 0x40000000;
inline constexpr uint32_t ACCESS_GENERIC_ALL = 0x10000000;
inline constexpr uint32_t ACCESS_FILE_READ_DATA = 0x00000001;
inline constexpr uint32_t ACCESS_FILE_WRITE_DATA = 0x00000002;
inline constexpr uint32_t ACCESS_FILE_APPEND_DATA = 0x00000004;
inline constexpr uint32_t ACCESS_DELETE = 0x00010000;
inline constexpr uint32_t SHARE_READ = 1;
inline constexpr uint32_t SHARE_WRITE = 2;
inline constexpr uint32_t SHARE_DELETE = 4;

inline constexpr uint32_t ERR_SUCCESS = 0;
inline constexpr uint32_t ERR_INVALID_FUNCTION = 1;
inline constexpr uint32_t ERR_FILE_NOT_FOUND = 2;
inline constexpr uint32_t ERR_ACCESS_DENIED = 5;
inline constexpr uint32_t ERR_GEN_FAILURE = 31;
inline constexpr uint32_t ERR_SHARING_VIOLATION = 32;
inline constexpr uint32_t ERR_INVALID_PARAMETER = 87;
inline constexpr uint32_t ERR_INSUFFICIENT_BUFFER = 122;
inline constexpr uint32_t ERR_MORE_DATA = 234;
inline constexpr uint32_t ERR_DEVICE_REMOVED = 1617;

}  // namespace drv
