// RegisterCmNotification and UnregisterCmNotification: CM_Register_Notification and
// CM_Unregister_Notification, looked up in the system's cfgmgr32.dll when first used.
// Where the system lacks either, registering fails with CR_CALL_NOT_IMPLEMENTED and the
// program goes on without arrival notifications.

#include <cstring>

#include "platform/win32.h"

namespace {

using RegisterFunction = CONFIGRET(WINAPI*)(PCM_NOTIFY_FILTER, PVOID, PCM_NOTIFY_CALLBACK,
                                            PHCMNOTIFICATION);
using UnregisterFunction = CONFIGRET(WINAPI*)(HCMNOTIFICATION);

struct ConfigManager {
    RegisterFunction registerNotification = nullptr;
    UnregisterFunction unregisterNotification = nullptr;
};

// From the system folder only, never by the search order, which looks beside the program
// first: a tool unpacked into a downloads folder must not run a cfgmgr32.dll that lies
// there. Windows 7 without its loader update refuses the flag (ERROR_INVALID_PARAMETER):
// there the full path is given.
HMODULE LoadFromSystemFolder() {
    static constexpr char NAME[] = "cfgmgr32.dll";
    HMODULE module = LoadLibraryExA(NAME, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module != nullptr || GetLastError() != ERROR_INVALID_PARAMETER) {
        return module;
    }
    char path[MAX_PATH + sizeof NAME];
    const UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return nullptr;
    }
    path[length] = '\\';
    std::memcpy(path + length + 1, NAME, sizeof NAME);
    // Whatever the DLL itself imports is looked for beside it, in the system folder.
    return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

template <typename Function>
Function Find(HMODULE module, const char* name) {
    // The cast between function pointer types is how GetProcAddress is used.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wcast-function-type"
    return reinterpret_cast<Function>(GetProcAddress(module, name));
#pragma GCC diagnostic pop
}

// Both functions or neither: a registration that could not be ended would call back
// into a list that is gone.
ConfigManager Load() {
    ConfigManager manager;
    HMODULE module = LoadFromSystemFolder();
    if (module == nullptr) {
        return manager;
    }
    const auto registerNotification = Find<RegisterFunction>(module, "CM_Register_Notification");
    const auto unregisterNotification =
        Find<UnregisterFunction>(module, "CM_Unregister_Notification");
    if (registerNotification != nullptr && unregisterNotification != nullptr) {
        manager.registerNotification = registerNotification;
        manager.unregisterNotification = unregisterNotification;
    }
    return manager;
}

// Looked up once, by the first caller; the module stays loaded for the process's life.
const ConfigManager& TheConfigManager() {
    static const ConfigManager manager = Load();
    return manager;
}

}  // namespace

CONFIGRET RegisterCmNotification(PCM_NOTIFY_FILTER filter, PVOID context,
                                 PCM_NOTIFY_CALLBACK callback, PHCMNOTIFICATION notification) {
    const RegisterFunction function = TheConfigManager().registerNotification;
    if (function == nullptr) {
        if (notification != nullptr) {
            *notification = nullptr;
        }
        return CR_CALL_NOT_IMPLEMENTED;
    }
    return function(filter, context, callback, notification);
}

CONFIGRET UnregisterCmNotification(HCMNOTIFICATION notification) {
    const UnregisterFunction function = TheConfigManager().unregisterNotification;
    if (function == nullptr) {
        return CR_CALL_NOT_IMPLEMENTED;
    }
    return function(notification);
}
