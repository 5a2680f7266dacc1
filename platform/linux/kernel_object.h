// Handles of the Linux platform layer: every HANDLE (and HDEVINFO) names an object that
// the layer made and entered in one table. A handle that is not in it (never made, closed
// already, or of another kind than the call wants) is refused with ERROR_INVALID_HANDLE,
// as on Windows.
//
// A call holds the object it works on for as long as it runs, so closing a handle that
// another thread is using (the capture's channels and events are used across threads)
// takes it out of the table at once and never frees what is in use: the object goes with
// its last use, as a Windows object goes with its last reference.
#pragma once

#include <memory>

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

// Enters the object in the table and returns its handle.
HANDLE RegisterKernelObject(std::shared_ptr<KernelObject> object);

// Implementation details of the templates below: the object of a handle, and taking it
// out of the table when it is of the wanted kind.
std::shared_ptr<KernelObject> FindAnyKernelObject(HANDLE handle);
bool RemoveKernelObject(HANDLE handle, bool (*wanted)(const KernelObject*));

// The object of type T that the handle names, held for the caller; null, with
// ERROR_INVALID_HANDLE set, when it names none.
template <typename T>
std::shared_ptr<T> FindKernelObject(HANDLE handle) {
    std::shared_ptr<T> object = std::dynamic_pointer_cast<T>(FindAnyKernelObject(handle));
    if (object == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
    }
    return object;
}

// Closes a handle to an object of type T; false, with ERROR_INVALID_HANDLE set, when it
// names none. CloseHandle is this for any type.
template <typename T>
bool CloseKernelObject(HANDLE handle) {
    if (!RemoveKernelObject(handle, [](const KernelObject* object) {
            return dynamic_cast<const T*>(object) != nullptr;
        })) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    return true;
}
