#include "platform/linux/kernel_object.h"

#include <mutex>
#include <unordered_map>

namespace {

struct HandleTable {
    std::mutex mutex;
    std::unordered_map<HANDLE, std::shared_ptr<KernelObject>> objects;
};

HandleTable& Table() {
    static auto* table = new HandleTable;  // outlives every static destructor
    return *table;
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

HANDLE RegisterKernelObject(std::shared_ptr<KernelObject> object) {
    HANDLE handle = object.get();
    HandleTable& table = Table();
    const std::lock_guard<std::mutex> lock(table.mutex);
    table.objects.emplace(handle, std::move(object));
    return handle;
}

std::shared_ptr<KernelObject> FindAnyKernelObject(HANDLE handle) {
    HandleTable& table = Table();
    const std::lock_guard<std::mutex> lock(table.mutex);
    const auto found = table.objects.find(handle);
    return found != table.objects.end() ? found->second : nullptr;
}

bool RemoveKernelObject(HANDLE handle, bool (*wanted)(const KernelObject*)) {
    std::shared_ptr<KernelObject> removed;
    {
        HandleTable& table = Table();
        const std::lock_guard<std::mutex> lock(table.mutex);
        const auto found = table.objects.find(handle);
        if (found == table.objects.end() || !wanted(found->second.get())) {
            return false;
        }
        removed = std::move(found->second);
        table.objects.erase(found);
    }
    // Destroyed here, outside the lock, unless a call on another thread still holds it.
    removed.reset();
    return true;
}

BOOL CloseHandle(HANDLE hObject) {
    return CloseKernelObject<KernelObject>(hObject) ? TRUE : FALSE;
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    const std::shared_ptr<KernelObject> object = FindKernelObject<KernelObject>(hHandle);
    return object != nullptr ? object->Wait(dwMilliseconds) : WAIT_FAILED;
}
