// RegisterCmNotification and UnregisterCmNotification: CM_Register_Notification and
// CM_Unregister_Notification, looked up in cfgmgr32.dll when first used. Where the system
// lacks them, registering fails with CR_CALL_NOT_IMPLEMENTED and the program goes on
// without arrival notifications.

#include "platform/win32.h"

namespace {

using RegisterFunction = CONFIGRET(WINAPI*)(PCM_NOTIFY_FILTER, PVOID, PCM_NOTIFY_CALLBACK,
                                            PHCMNOTIFICATION);
using UnregisterFunction = CONFIGRET(WINAPI*)(HCMNOTIFICATION);

FARPROC FindConfigManagerFunction(const char* name) {
    HMODULE module = LoadLibraryA("cfgmgr32.dll");
    return module != nullptr ? GetProcAddress(module, name) : nullptr;
}

template <typename Function>
Function Resolve(const char* name) {
    // The cast between function pointer types is how GetProcAddress is used.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wcast-function-type"
    return reinterpret_cast<Function>(FindConfigManagerFunction(name));
#pragma GCC diagnostic pop
}

}  // namespace

CONFIGRET RegisterCmNotification(PCM_NOTIFY_FILTER filter, PVOID context,
                                 PCM_NOTIFY_CALLBACK callback, PHCMNOTIFICATION notification) {
    static const RegisterFunction function = Resolve<RegisterFunction>("CM_Register_Notification");
    if (function == nullptr) {
        if (notification != nullptr) {
            *notification = nullptr;
        }
        return CR_CALL_NOT_IMPLEMENTED;
    }
    return function(filter, context, callback, notification);
}

CONFIGRET UnregisterCmNotification(HCMNOTIFICATION notification) {
    static const UnregisterFunction function =
        Resolve<UnregisterFunction>("CM_Unregister_Notification");
    if (function == nullptr) {
        return CR_CALL_NOT_IMPLEMENTED;
    }
    return function(notification);
}
