// What crosses the boundary to the driver: the interface class, the channel names
// and access rights, the three control codes and the request and reply records.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win32.h"

// {7F95AF7C-F68A-4351-BB8E-268AF28EA14C}
inline const GUID GUID_DEVINTERFACE_VEKDIAG = {
    0x7F95AF7C, 0xF68A, 0x4351, {0xBB, 0x8E, 0x26, 0x8A, 0xF2, 0x8E, 0xA1, 0x4C}};

// Channel names, appended to the interface path after one backslash.
inline constexpr char VEKDIAG_CONFIGURE_CHANNEL[] = "VekDiagConfigure";
inline constexpr char VEKDIAG_TEXT_LOG_CHANNEL[] = "VekDiagTextLog";
inline constexpr char VEKDIAG_TIMING_LOG_CHANNEL[] = "VekDiagTimingLog";

inline constexpr DWORD VEKDIAG_CONFIGURE_ACCESS = GENERIC_ALL;
inline constexpr DWORD VEKDIAG_LOG_ACCESS = GENERIC_READ;

inline constexpr DWORD VEKDIAG_DEVICE_TYPE = 0xC351;

inline constexpr DWORD IOCTL_DIAG_QUERY =
    CTL_CODE(VEKDIAG_DEVICE_TYPE, 0x800u, METHOD_BUFFERED, FILE_READ_ACCESS);
inline constexpr DWORD IOCTL_DIAG_SET =
    CTL_CODE(VEKDIAG_DEVICE_TYPE, 0x801u, METHOD_BUFFERED, FILE_ANY_ACCESS);
inline constexpr DWORD IOCTL_DIAG_READ_LOG =
    CTL_CODE(VEKDIAG_DEVICE_TYPE, 0x802u, METHOD_BUFFERED, FILE_READ_ACCESS);

static_assert(IOCTL_DIAG_QUERY == 0xC3516000u, "IOCTL_DIAG_QUERY");
static_assert(IOCTL_DIAG_SET == 0xC3512004u, "IOCTL_DIAG_SET");
static_assert(IOCTL_DIAG_READ_LOG == 0xC3516008u, "IOCTL_DIAG_READ_LOG");

// Size of every log read request.
inline constexpr uint32_t LOG_BLOCK_SIZE = 4096;

// DiagQueryRequest.selector
inline constexpr uint32_t DIAG_QUERY_ADAPTER_INFO = 0;
inline constexpr uint32_t DIAG_QUERY_STREAM_OPTIONS = 1;

// DiagSetRequest.requestCode
inline constexpr uint32_t DIAG_SET_LOG_LEVEL = 0;
inline constexpr uint32_t DIAG_SET_STREAM_OPTION = 2;
inline constexpr uint32_t DIAG_SET_CLEAR_CACHE = 3;

struct DiagQueryRequest {
    uint32_t selector;
};

struct DiagAdapterInfo {
    uint16_t adapterIndex;
    uint16_t adapterType;
};

// Bytes 4 to 7 read as the adapter information after selector 0 and as the option
// mask after selector 1; the other words are the driver's own.
struct DiagQueryReply {
    uint32_t reserved0;
    union {
        DiagAdapterInfo adapterInfo;
        uint32_t streamOptions;
    };
    uint32_t reserved8;
};

struct DiagSetRequest {
    uint32_t requestCode;
    uint32_t parameter;
    uint32_t enable;
    uint32_t reserved;
};

static_assert(sizeof(DiagQueryRequest) == 4, "DiagQueryRequest layout");
static_assert(sizeof(DiagQueryReply) == 12, "DiagQueryReply layout");
static_assert(offsetof(DiagQueryReply, adapterInfo) == 4, "DiagQueryReply layout");
static_assert(offsetof(DiagQueryReply, streamOptions) == 4, "DiagQueryReply layout");
static_assert(offsetof(DiagAdapterInfo, adapterType) == 2, "DiagQueryReply layout");
static_assert(sizeof(DiagSetRequest) == 16, "DiagSetRequest layout");
static_assert(offsetof(DiagSetRequest, parameter) == 4, "DiagSetRequest layout");
static_assert(offsetof(DiagSetRequest, enable) == 8, "DiagSetRequest layout");
