// Handles of the Linux platform layer: every HANDLE is a KernelObject that the layer
// created and registered; CloseHandle destroys it. A handle that is not registered
// (never made, or closed already) is refused with ERROR_INVALID_HANDLE, as on Windows.
#pragma once

#include "platform/linux/win32_api.h"

class KernelObject {
public:
    KernelObject() = default;
    virtual ~KernelObject() = default;
    KernelObject(const KernelObject&) = delete;
    KernelObject& operator=(const KernelObject&) = delete;

    // WaitForSingleObject on this object; objects that cannot be waited on refuse.
    virtual DWORD Wait(DWORD milliseconds);
};

// Registers the object and returns its handle.
HANDLE RegisterKernelObject(KernelObject* object);

// Runs use(object) while the handle stays registered; returns false, with
// ERROR_INVALID_HANDLE set, when the handle is not a live object of type T.
// CloseHandle waits until no use of the object is in progress.
template <typename T, typename Use>
bool UseKernelObject(HANDLE handle, Use&& use);

// Implementation detail of UseKernelObject.
KernelObject* AcquireKernelObject(HANDLE handle);
void ReleaseKernelObject(KernelObject* object);

template <typename T, typename Use>
bool UseKernelObject(HANDLE handle, Use&& use) {
    KernelObject* object = AcquireKernelObject(handle);
    T* typed = dynamic_cast<T*>(object);
    if (typed == nullptr) {
        if (object != nullptr) {
            ReleaseKernelObject(object);
        }
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    use(*typed);
    ReleaseKernelObject(object);
    return true;
}
