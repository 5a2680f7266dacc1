// CM_Register_Notification and CM_Unregister_Notification, looked up in cfgmgr32.dll
// when first used. Where the system lacks them, registering fails with
// CR_CALL_NOT_IMPLEMENTED and the program goes on without arrival notifications.

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

extern "C" CONFIGRET WINAPI CM_Register_Notification(PCM_NOTIFY_FILTER pFilter, PVOID pContext,
                                                     PCM_NOTIFY_CALLBACK pCallback,
                                                     PHCMNOTIFICATION pNotifyContext) {
    static const RegisterFunction function = Resolve<RegisterFunction>("CM_Register_Notification");
    if (function == nullptr) {
        if (pNotifyContext != nullptr) {
            *pNotifyContext = nullptr;
        }
        return CR_CALL_NOT_IMPLEMENTED;
    }
    return function(pFilter, pContext, pCallback, pNotifyContext);
}

extern "C" CONFIGRET WINAPI CM_Unregister_Notification(HCMNOTIFICATION NotifyContext) {
    static const UnregisterFunction function =
        Resolve<UnregisterFunction>("CM_Unregister_Notification");
    if (function == nullptr) {
        return CR_CALL_NOT_IMPLEMENTED;
    }
    return function(NotifyContext);
}
