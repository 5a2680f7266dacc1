// Events and threads with the Win32 meanings: manual- or auto-reset events, threads
// that start at once and whose handle is signalled when they end; and the clocks.
#include <time.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/linux/kernel_object.h"

namespace {

// Waits until ready() holds or the time is up; INFINITE waits without limit.
template <typename Ready>
bool WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& changed,
               DWORD milliseconds, Ready ready) {
    if (milliseconds == INFINITE) {
        changed.wait(lock, ready);
        return true;
    }
    return changed.wait_for(lock, std::chrono::milliseconds(milliseconds), ready);
}

class EventObject : public KernelObject {
public:
    EventObject(bool manualReset, bool signalled)
        : manualReset_(manualReset), signalled_(signalled) {}

    void Set() {
        const std::lock_guard<std::mutex> lock(mutex_);
        signalled_ = true;
        changed_.notify_all();
    }

    DWORD Wait(DWORD milliseconds) override {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!WaitUntil(lock, changed_, milliseconds, [this] { return signalled_; })) {
            return WAIT_TIMEOUT;
        }
        if (!manualReset_) {
            signalled_ = false;
        }
        return WAIT_OBJECT_0;
    }

private:
    const bool manualReset_;
    bool signalled_;
    std::mutex mutex_;
    std::condition_variable changed_;
};

class ThreadObject : public KernelObject {
public:
    ThreadObject(LPTHREAD_START_ROUTINE routine, LPVOID parameter)
        : state_(std::make_shared<State>()) {
        thread_ = std::thread([state = state_, routine, parameter] {
            routine(parameter);
            const std::lock_guard<std::mutex> lock(state->mutex);
            state->finished = true;
            state->changed.notify_all();
        });
    }

    // Closing the handle of a running thread lets it run on, as on Windows; the state
    // it signals is shared, so it outlives the handle.
    ~ThreadObject() override { thread_.detach(); }

    DWORD Wait(DWORD milliseconds) override {
        std::unique_lock<std::mutex> lock(state_->mutex);
        if (!WaitUntil(lock, state_->changed, milliseconds, [this] { return state_->finished; })) {
            return WAIT_TIMEOUT;
        }
        return WAIT_OBJECT_0;
    }

private:
    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        bool finished = false;
    };
    std::shared_ptr<State> state_;
    std::thread thread_;
};

}  // namespace

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES /*lpEventAttributes*/, BOOL bManualReset,
                    BOOL bInitialState, LPCSTR lpName) {
    if (lpName != nullptr) {
        // Named events are not part of this layer.
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    return RegisterKernelObject(
        std::make_shared<EventObject>(bManualReset != FALSE, bInitialState != FALSE));
}

BOOL SetEvent(HANDLE hEvent) {
    const std::shared_ptr<EventObject> event = FindKernelObject<EventObject>(hEvent);
    if (event == nullptr) {
        return FALSE;
    }
    event->Set();
    return TRUE;
}

HANDLE CreateThread(LPSECURITY_ATTRIBUTES /*lpThreadAttributes*/, SIZE_T /*dwStackSize*/,
                    LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                    DWORD dwCreationFlags, LPDWORD lpThreadId) {
    if (lpStartAddress == nullptr || dwCreationFlags != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    HANDLE handle =
        RegisterKernelObject(std::make_shared<ThreadObject>(lpStartAddress, lpParameter));
    if (lpThreadId != nullptr) {
        *lpThreadId = static_cast<DWORD>(reinterpret_cast<uintptr_t>(handle) >> 4);
    }
    return handle;
}

ULONGLONG GetTickCount64() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<ULONGLONG>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

void GetLocalTime(LPSYSTEMTIME lpSystemTime) {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    ::localtime_r(&now.tv_sec, &local);
    lpSystemTime->wYear = static_cast<WORD>(local.tm_year + 1900);
    lpSystemTime->wMonth = static_cast<WORD>(local.tm_mon + 1);
    lpSystemTime->wDayOfWeek = static_cast<WORD>(local.tm_wday);
    lpSystemTime->wDay = static_cast<WORD>(local.tm_mday);
    lpSystemTime->wHour = static_cast<WORD>(local.tm_hour);
    lpSystemTime->wMinute = static_cast<WORD>(local.tm_min);
    // A leap second reads as the last second of its minute, as Windows never shows 60.
    lpSystemTime->wSecond = static_cast<WORD>(local.tm_sec > 59 ? 59 : local.tm_sec);
    lpSystemTime->wMilliseconds = static_cast<WORD>(now.tv_nsec / 1000000);
}
