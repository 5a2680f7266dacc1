#include "base/stop_request.h"

#include <atomic>

namespace {

struct StopState {
    std::atomic<HANDLE> stopEvent{nullptr};
    std::atomic<HANDLE> finishedEvent{nullptr};
    std::atomic<bool> stopNow{false};
    std::atomic<bool> interrupted{false};
    std::atomic<int> controlEvents{0};
};

// Never destroyed, and its events never closed: a handler may still be looking at them.
StopState& State() {
    static auto* state = new StopState;
    return *state;
}

void SignalStop() {
    HANDLE event = State().stopEvent.load();
    if (event != nullptr) {
        SetEvent(event);
    }
}

BOOL WINAPI OnControlEvent(DWORD /*controlType*/) {
    StopState& state = State();
    if (state.controlEvents.fetch_add(1) > 0) {
        return FALSE;  // the second one: the default handling ends the process
    }
    state.interrupted = true;
    RequestStop();
    HANDLE finished = state.finishedEvent.load();
    if (finished != nullptr) {
        WaitForSingleObject(finished, INTERRUPT_GRACE_MS);
    }
    return TRUE;
}

}  // namespace

HANDLE BeginInterruptibleWork() {
    StopState& state = State();
    HANDLE stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE finishedEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    state.finishedEvent = finishedEvent;
    state.stopEvent = stopEvent;
    SetConsoleCtrlHandler(OnControlEvent, TRUE);
    return stopEvent;
}

void EndInterruptibleWork() {
    HANDLE finished = State().finishedEvent.load();
    if (finished != nullptr) {
        SetEvent(finished);
    }
}

void RequestStop() {
    State().stopNow = true;
    SignalStop();
}

void RequestStopAfterPass() {
    SignalStop();
}

int StopRequested() {
    return State().stopNow.load(std::memory_order_relaxed) ? 1 : 0;
}

int Interrupted() {
    return State().interrupted.load() ? 1 : 0;
}
