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

// Not every cfgmgr32.dll has these two (Windows 7 and Wine 8 lack them), so the
// program never imports them: the platform layer looks them up at run time and
// answers CR_CALL_NOT_IMPLEMENTED when they are missing.
extern "C" {
CONFIGRET WINAPI CM_Register_Notification(PCM_NOTIFY_FILTER pFilter, PVOID pContext,
                                          PCM_NOTIFY_CALLBACK pCallback,
                                          PHCMNOTIFICATION pNotifyContext);
CONFIGRET WINAPI CM_Unregister_Notification(HCMNOTIFICATION NotifyContext);
}
#else
#include "platform/linux/win32_api.h"
#endif
