// One adapter of the driver: its three channel paths and handles, its index and type,
// the protocol exchanges on its configure channel, and the framing state of its
// timing log. Channels are opened when first needed and stay open until destruction.
#pragma once

#include <cstdint>
#include <string>

#include "adapter/vekdiag_protocol.h"
#include "logs/log_channel.h"
#include "logs/timing_log_checker.h"
#include "platform/win32.h"

class DrainLimit;
class LogSink;
struct DrainProgress;

class VekDiagDevice {
public:
    explicit VekDiagDevice(const char* interfacePath);
    // From the wide symbolic link of an arrival notification.
    explicit VekDiagDevice(const WCHAR* interfacePath);
    ~VekDiagDevice();
    VekDiagDevice(const VekDiagDevice&) = delete;
    VekDiagDevice& operator=(const VekDiagDevice&) = delete;

    // Non-zero when the channel is open afterwards.
    int OpenConfigureChannel();
    int OpenTextLogChannel();
    // A fresh open also starts the timing stream anew for the checker.
    int OpenTimingLogChannel();
    void CloseConfigureChannel();
    void CloseTextLogChannel();
    void CloseTimingLogChannel();

    // The stream-option mask; 0 when it cannot be read. succeeded, when given, tells
    // whether the driver answered.
    uint32_t GetStreamOptions(int* succeeded = nullptr);
    // Each returns the success of the request; 0 when the configure channel is not open.
    int SetStreamOption(uint32_t flag, int32_t enable);
    int SetLogLevel(uint16_t level);
    int ClearCapabilityCache();

    // One read request on an open log channel into buffer; *byteCount (when given)
    // receives the bytes delivered, never more than capacity. Returns the success flag.
    int ReadLogBlock(HANDLE channel, void* buffer, uint32_t capacity, uint32_t* byteCount);

    // Reads a log channel block by block, writing every block to sink (or dropping it
    // when sink is null), until the driver has nothing more, the sink fails, a stop is
    // asked for or the limit, when given, says so after a block; progress, when given,
    // says which. Returns non-zero when every read succeeded.
    int DrainLog(LogSink* sink, LogChannel channel, DrainProgress* progress = nullptr,
                 DrainLimit* limit = nullptr);

    // The adapter's interface path, as its channel paths begin.
    std::string InterfacePath() const;

    uint16_t adapterIndex = 0;
    uint16_t adapterType = 0;
    // Whether the driver answered the adapter-information query; the two fields above
    // are 0 otherwise.
    bool identified = false;
    std::string textLogPath;
    std::string timingLogPath;
    std::string configurePath;
    HANDLE configureHandle = INVALID_HANDLE_VALUE;
    HANDLE textLogHandle = INVALID_HANDLE_VALUE;
    HANDLE timingLogHandle = INVALID_HANDLE_VALUE;
    TimingLogChecker timingChecker;

private:
    void Initialize(const char* interfacePath);
    int SendSetRequest(uint32_t requestCode, uint32_t parameter, uint32_t enable);
    int SendQuery(uint32_t selector, DiagQueryReply* reply);
};

// The narrow form of a wide interface path, as "%S" formats it; characters that the
// narrow character set cannot represent become '?'.
std::string NarrowInterfacePath(const WCHAR* path);
