// An in-process stand-in for the driver and the platform's device functions
// (CreateFileA, DeviceIoControl, the SetupAPI enumeration, the notification
// registration), scripted by the unit tests. Every request that reaches an adapter is
// recorded in the same words as the simulator uses.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/win32.h"

enum FakeChannelId { FakeConfigure = 0, FakeTextLog = 1, FakeTimingLog = 2 };

struct FakeRead {
    bool ok = true;
    std::vector<uint8_t> bytes;
    DWORD error = ERROR_SUCCESS;
};

struct FakeAdapter {
    std::string interfacePath;
    uint16_t index = 0;
    uint16_t type = 0;
    uint32_t options = 0;
    // Scripted answers to log reads; once a queue is empty, reads succeed with 0 bytes.
    std::deque<FakeRead> reads[3];
    DWORD openError[3] = {ERROR_SUCCESS, ERROR_SUCCESS, ERROR_SUCCESS};
    bool rejectSet = false;
    bool rejectQuery = false;
    bool open[3] = {false, false, false};
    std::vector<std::string> requests;
};

struct FakeRegistration {
    CM_NOTIFY_FILTER filter{};
    PVOID context = nullptr;
    PCM_NOTIFY_CALLBACK callback = nullptr;
    bool active = true;
};

class FakeDriver {
public:
    static FakeDriver& Get();

    // Forgets every adapter, registration and scripted failure.
    void Reset();
    FakeAdapter& AddAdapter(const std::string& interfacePath, uint16_t index, uint16_t type);
    FakeAdapter& Adapter(size_t position) { return *adapters_[position]; }
    std::vector<std::string> Requests(size_t position);

    // Delivers a notification to every active registration, from a thread of its own,
    // and waits until the callbacks have returned.
    void Notify(CM_NOTIFY_ACTION action, const std::wstring& symbolicLink);
    int ActiveRegistrations();
    CM_NOTIFY_FILTER LastFilter();

    bool failClassDevs = false;
    // The detail query of this member index fails (-1: none does).
    int failDetailAt = -1;
    DWORD lastClassDevsFlags = 0;
    CONFIGRET registerResult = CR_SUCCESS;

    // Used by the fake platform functions.
    std::mutex mutex;
    std::vector<std::unique_ptr<FakeAdapter>> adapters_;
    std::vector<std::unique_ptr<FakeRegistration>> registrations_;
};
