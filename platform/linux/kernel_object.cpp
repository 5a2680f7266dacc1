#include "platform/linux/kernel_object.h"

#include <condition_variable>
#include <mutex>
#include <unordered_map>

namespace {

// Live objects and how many uses of each are in progress.
struct Registry {
    std::mutex mutex;
    std::condition_variable idle;
    std::unordered_map<KernelObject*, int> uses;
};

Registry& TheRegistry() {
    static Registry* registry = new Registry;  // outlives every static destructor
    return *registry;
}

thread_local DWORD lastError = ERROR_SUCCESS;

}  // namespace

DWORD GetLastError() {
    return lastError;
}

void SetLastError(DWORD error) {
    lastError = error;
}

DWORD KernelObject::Wait(DWORD /*milliseconds*/) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
}

HANDLE RegisterKernelObject(KernelObject* object) {
    Registry& registry = TheRegistry();
    const std::lock_guard<std::mutex> lock(registry.mutex);
    registry.uses.emplace(object, 0);
    return object;
}

KernelObject* AcquireKernelObject(HANDLE handle) {
    Registry& registry = TheRegistry();
    const std::lock_guard<std::mutex> lock(registry.mutex);
    const auto found = registry.uses.find(static_cast<KernelObject*>(handle));
    if (found == registry.uses.end()) {
        return nullptr;
    }
    ++found->second;
    return found->first;
}

void ReleaseKernelObject(KernelObject* object) {
    Registry& registry = TheRegistry();
    const std::lock_guard<std::mutex> lock(registry.mutex);
    const auto found = registry.uses.find(object);
    if (found != registry.uses.end() && --found->second == 0) {
        registry.idle.notify_all();
    }
}

BOOL CloseHandle(HANDLE hObject) {
    Registry& registry = TheRegistry();
    KernelObject* object = nullptr;
    {
        std::unique_lock<std::mutex> lock(registry.mutex);
        auto found = registry.uses.find(static_cast<KernelObject*>(hObject));
        if (found == registry.uses.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        object = found->first;
        registry.idle.wait(lock, [&] { return registry.uses.at(object) == 0; });
        registry.uses.erase(object);
    }
    delete object;
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    DWORD result = WAIT_FAILED;
    if (!UseKernelObject<KernelObject>(
            hHandle, [&](KernelObject& object) { result = object.Wait(dwMilliseconds); })) {
        return WAIT_FAILED;
    }
    return result;
}
