// The one place the program includes the Win32 interface from. On Windows it is the
// real SDK; elsewhere it is our own declaration of the same subset, with the same
// names, types, values and record layouts, implemented by the platform layer.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// The device headers build on windows.h.
#include <cfgmgr32.h>
#include <setupapi.h>
#include <winioctl.h>

#else
#include "platform/linux/win32_api.h"
#endif

// CM_Register_Notification and CM_Unregister_Notification, reached through names of our
// own. Not every cfgmgr32.dll has them (Windows 7 and Wine 8 lack them), so the program
// never imports them: on Windows they are looked up at run time and, where missing,
// registering answers CR_CALL_NOT_IMPLEMENTED.
#ifdef _WIN32
CONFIGRET RegisterCmNotification(PCM_NOTIFY_FILTER filter, PVOID context,
                                 PCM_NOTIFY_CALLBACK callback, PHCMNOTIFICATION notification);
CONFIGRET UnregisterCmNotification(HCMNOTIFICATION notification);
#else
inline CONFIGRET RegisterCmNotification(PCM_NOTIFY_FILTER filter, PVOID context,
                                        PCM_NOTIFY_CALLBACK callback,
                                        PHCMNOTIFICATION notification) {
    return CM_Register_Notification(filter, context, callback, notification);
}
inline CONFIGRET UnregisterCmNotification(HCMNOTIFICATION notification) {
    return CM_Unregister_Notification(notification);
}
#endif
