// One adapter of the driver: its three channel paths and handles, its index and type,
// the protocol exchanges on its configure channel, and the framing state of its
// timing log. Channels are opened when first needed and stay open until closed or
// destruction.
//
// While it holds a channel, the device is registered for the notifications of its
// handles, where the system offers them: when the system asks to remove the adapter (a
// driver update, disable and enable, a restart of the device), every handle is closed
// before the answer, the request in flight first finishing, so that the removal goes
// ahead; the owner learns of it from Removal() and may open the channels again once the
// removal was refused by someone else (Resume).
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "adapter/log_channel.h"
#include "adapter/vekdiag_protocol.h"
#include "framing/timing_log_checker.h"
#include "platform/win32.h"

class DrainLimit;
class LogSink;
struct DrainProgress;

// What the system asked of the adapter's handles.
enum class DeviceRemoval : uint32_t {
    None,     // the handles are the device's to use
    LetGo,    // removal asked for: every handle was closed, and none is opened until it is
              // decided
    Refused,  // the removal did not go ahead: the handles may be opened again (Resume)
    Removed,  // the adapter is gone
};

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
    int ReadLogBlock(LogChannel channel, void* buffer, uint32_t capacity, uint32_t* byteCount);

    DeviceRemoval Removal() const { return removal_.load(); }
    // After a removal that was refused: the log channels let go are opened again, the
    // timing stream going on where it stopped (nothing was lost in the driver). Non-zero
    // when they all are.
    int Resume();

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
    int Open(HANDLE& handle, const std::string& path, DWORD access);
    void Close(HANDLE& handle);
    bool AnyOpen() const;
    // One request on a channel of this device, with the handles locked against a
    // notification that closes them.
    BOOL Request(const HANDLE& handle, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
                 DWORD* returned);
    void Register(HANDLE handle);
    void EndRegistration();
    void LetGoOfHandles(DeviceRemoval removal);
    static DWORD CALLBACK OnHandleNotification(HCMNOTIFICATION notification, PVOID context,
                                               CM_NOTIFY_ACTION action,
                                               PCM_NOTIFY_EVENT_DATA eventData,
                                               DWORD eventDataSize);

    // Guards the three handles against the notification thread, which closes them; held
    // for each request, so that a notification waits for the request in flight.
    mutable std::mutex handleLock_;
    std::atomic<DeviceRemoval> removal_{DeviceRemoval::None};
    // The registration for the notifications of the handles: made and ended by the
    // owner's thread only, never inside a notification.
    HCMNOTIFICATION notification_ = nullptr;
    bool textLetGo_ = false;  // the log channels open when they were let go
    bool timingLetGo_ = false;
};

// The narrow form of a wide interface path, as "%S" formats it; characters that the
// narrow character set cannot represent become '?'.
std::string NarrowInterfacePath(const WCHAR* path);
