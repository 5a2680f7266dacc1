/* cfgmgr32.dll for the tests under Wine 8, whose configuration manager has no
 * notifications: CM_Register_Notification watches SetupAPI's list of the present
 * interfaces of the class registered for, on a thread of the registration's own, and
 * calls back from that thread for each interface that appears in it
 * (CM_NOTIFY_ACTION_DEVICEINTERFACEARRIVAL) or leaves it (..._DEVICEINTERFACEREMOVAL),
 * as Windows does when a driver switches an interface on or off.
 *
 * A registration for a handle (CM_NOTIFY_FILTER_TYPE_DEVICEHANDLE) is for the test
 * driver's adapter that the handle's channel belongs to, which the driver tells
 * (VT_WHICH_ADAPTER): a control channel file of the registration's own makes it a
 * registrant of the driver's, and its thread asks the driver what to hand on, calling back
 * with ..._DEVICEQUERYREMOVE when the adapter is to be reset after asking, and answering
 * with what the callback returned, then with ..._DEVICEQUERYREMOVEFAILED or
 * ..._DEVICEREMOVECOMPLETE once the driver decided (vekdiag_test.h). After the removal the
 * registration calls back no more. The rest of what Wine's
 * cfgmgr32 implements goes on to setupapi, as there (cfgmgr32_notify.def); nothing of
 * Wine 8 imports cfgmgr32, so that is all a process can need of it.
 *
 * It lies in the test prefix's system folder, where only a run with
 * WINEDLLOVERRIDES=cfgmgr32=n,b loads it. When CFGMGR32_TEST_MARKER names a file, each
 * load appends a line to it with the path this DLL was loaded from, each registration for
 * interfaces a line "registered", and each for a handle "registered for a handle". Never
 * shipped. */
#include <stddef.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>
#include <windows.h>
/* cfgmgr32.h and setupapi.h build on windows.h */
#include <cfgmgr32.h>
#include <setupapi.h>

#include "vekdiag_test.h"

/* How often the list is looked at. */
#define POLL_MS 50

struct paths {
    WCHAR** items;
    size_t count;
};

struct registration {
    CM_NOTIFY_FILTER_TYPE type;
    GUID classGuid;
    PVOID context;
    PCM_NOTIFY_CALLBACK callback;
    HANDLE stop, thread;
    DWORD threadId;
    struct paths present; /* as last seen; the watching thread's alone once it runs */
    /* Interfaces: the looks at the list done so far, and how many registrations for
     * handles wait for the next (under watchersLock); in the list of watchers. */
    volatile LONG passes;
    LONG waiters;
    struct registration* next;
    HANDLE control; /* a handle: the registrant, a control channel file of the driver's */
};

/* The process's registrations for interfaces; woken whenever a registration's waiters
 * drop. */
static CRITICAL_SECTION watchersLock;
static CONDITION_VARIABLE waitersDropped;
static struct registration* watchers;

static void Mark(const char* line, DWORD length) {
    WCHAR marker[MAX_PATH];
    const DWORD n = GetEnvironmentVariableW(L"CFGMGR32_TEST_MARKER", marker, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        return;
    }
    HANDLE file = CreateFileW(marker, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_ALWAYS, 0, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written;
        WriteFile(file, line, length, &written, NULL);
        CloseHandle(file);
    }
}

static void FreePaths(struct paths* p) {
    for (size_t i = 0; i < p->count; ++i) {
        free(p->items[i]);
    }
    free(p->items);
    p->items = NULL;
    p->count = 0;
}

static BOOL AddPath(struct paths* p, const WCHAR* path) {
    WCHAR** items = realloc(p->items, (p->count + 1) * sizeof *items);
    if (items == NULL) {
        return FALSE;
    }
    p->items = items;
    p->items[p->count] = _wcsdup(path);
    return p->items[p->count++] != NULL;
}

/* The interfaces of the class that SetupAPI lists as present; FALSE when it cannot say. */
static BOOL Present(const GUID* classGuid, struct paths* found) {
    found->items = NULL;
    found->count = 0;
    HDEVINFO set =
        SetupDiGetClassDevsW(classGuid, NULL, NULL, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) {
        return FALSE;
    }
    BOOL ok = TRUE;
    SP_DEVICE_INTERFACE_DATA data = {.cbSize = sizeof data};
    for (DWORD i = 0; ok && SetupDiEnumDeviceInterfaces(set, NULL, classGuid, i, &data); ++i) {
        DWORD size = 0;
        SetupDiGetDeviceInterfaceDetailW(set, &data, NULL, 0, &size, NULL);
        SP_DEVICE_INTERFACE_DETAIL_DATA_W* detail = size != 0 ? malloc(size) : NULL;
        if (detail != NULL) {
            detail->cbSize = sizeof *detail;
        }
        ok = detail != NULL &&
             SetupDiGetDeviceInterfaceDetailW(set, &data, detail, size, NULL, NULL) &&
             AddPath(found, detail->DevicePath);
        free(detail);
    }
    SetupDiDestroyDeviceInfoList(set);
    if (!ok) {
        FreePaths(found);
    }
    return ok;
}

static BOOL Contains(const struct paths* p, const WCHAR* path) {
    for (size_t i = 0; i < p->count; ++i) {
        if (_wcsicmp(p->items[i], path) == 0) {
            return TRUE;
        }
    }
    return FALSE;
}

/* Calls back for every path of FROM that is not in OTHER, as Windows hands the event
 * over: the symbolic link inside the event data, which is exactly as long as it needs. */
static void Notify(struct registration* r, const struct paths* from, const struct paths* other,
                   CM_NOTIFY_ACTION action) {
    for (size_t i = 0; i < from->count; ++i) {
        if (Contains(other, from->items[i]) || WaitForSingleObject(r->stop, 0) == WAIT_OBJECT_0) {
            continue;
        }
        const size_t length = wcslen(from->items[i]);
        const DWORD size = (DWORD)(offsetof(CM_NOTIFY_EVENT_DATA, u.DeviceInterface.SymbolicLink) +
                                   (length + 1) * sizeof(WCHAR));
        CM_NOTIFY_EVENT_DATA* event = calloc(1, size);
        if (event == NULL) {
            continue;
        }
        event->FilterType = CM_NOTIFY_FILTER_TYPE_DEVICEINTERFACE;
        event->u.DeviceInterface.ClassGuid = r->classGuid;
        memcpy(event->u.DeviceInterface.SymbolicLink, from->items[i], (length + 1) * sizeof(WCHAR));
        r->callback((HCMNOTIFICATION)r, r->context, action, event, size);
        free(event);
    }
}

static DWORD WINAPI Watch(LPVOID parameter) {
    struct registration* r = parameter;
    while (WaitForSingleObject(r->stop, POLL_MS) == WAIT_TIMEOUT) {
        struct paths now;
        if (!Present(&r->classGuid, &now)) {
            continue;
        }
        Notify(r, &now, &r->present, CM_NOTIFY_ACTION_DEVICEINTERFACEARRIVAL);
        Notify(r, &r->present, &now, CM_NOTIFY_ACTION_DEVICEINTERFACEREMOVAL);
        FreePaths(&r->present);
        r->present = now;
        InterlockedIncrement(&r->passes);
    }
    return 0;
}

/* Once an adapter was taken away for a reset, every watcher of interfaces in the process
 * looks at the list again before the driver brings it back, so that it reports the
 * departure and then the arrival, as the system never misses them. A few seconds each
 * at most. */
#define SEEN_MAX 64
static void LetWatchersSee(HANDLE stop) {
    struct registration* seen[SEEN_MAX];
    LONG passes[SEEN_MAX];
    size_t n = 0;
    EnterCriticalSection(&watchersLock);
    for (struct registration* w = watchers; w != NULL && n < SEEN_MAX; w = w->next) {
        ++w->waiters;
        passes[n] = w->passes;
        seen[n++] = w;
    }
    LeaveCriticalSection(&watchersLock);
    for (size_t i = 0; i < n; ++i) {
        /* The pass under way may have begun before the adapter left. */
        HANDLE ends[2] = {seen[i]->stop, stop};
        for (int waited = 0; seen[i]->passes - passes[i] < 2 && waited < 5000; waited += 5) {
            if (WaitForMultipleObjects(2, ends, FALSE, 5) != WAIT_TIMEOUT) {
                break;
            }
        }
    }
    EnterCriticalSection(&watchersLock);
    for (size_t i = 0; i < n; ++i) {
        --seen[i]->waiters;
    }
    LeaveCriticalSection(&watchersLock);
    WakeAllConditionVariable(&waitersDropped);
}

static DWORD WINAPI Answer(LPVOID parameter) {
    struct registration* r = parameter;
    while (WaitForSingleObject(r->stop, POLL_MS) == WAIT_TIMEOUT) {
        struct vt_notice n;
        DWORD got = 0;
        if (!DeviceIoControl(r->control, VT_CTL_POLL, NULL, 0, &n, sizeof n, &got, NULL) ||
            got != sizeof n || n.notice == VT_NOTICE_NONE) {
            continue;
        }
        if (WaitForSingleObject(r->stop, 0) == WAIT_OBJECT_0) {
            break;
        }
        const CM_NOTIFY_ACTION action =
            n.notice == VT_NOTICE_QUERY_REMOVE    ? CM_NOTIFY_ACTION_DEVICEQUERYREMOVE
            : n.notice == VT_NOTICE_REMOVE_FAILED ? CM_NOTIFY_ACTION_DEVICEQUERYREMOVEFAILED
                                                  : CM_NOTIFY_ACTION_DEVICEREMOVECOMPLETE;
        CM_NOTIFY_EVENT_DATA event = {.FilterType = CM_NOTIFY_FILTER_TYPE_DEVICEHANDLE};
        const DWORD result =
            r->callback((HCMNOTIFICATION)r, r->context, action, &event, sizeof event);
        if (n.notice == VT_NOTICE_REMOVED) {
            LetWatchersSee(r->stop);
        }
        struct vt_answer a = {n.restart, result == ERROR_SUCCESS};
        DeviceIoControl(r->control, VT_CTL_ANSWER, &a, sizeof a, NULL, 0, &got, NULL);
        if (n.notice == VT_NOTICE_REMOVED) {
            break;
        }
    }
    return 0;
}

/* The adapter of the handle's channel, watched through a control channel file. */
static BOOL WatchHandle(struct registration* r, HANDLE target) {
    ULONG adapter;
    DWORD got = 0;
    if (!DeviceIoControl(target, VT_WHICH_ADAPTER, NULL, 0, &adapter, sizeof adapter, &got, NULL) ||
        got != sizeof adapter) {
        return FALSE;
    }
    r->control = CreateFileA(VT_CONTROL_DOS_NAME, GENERIC_READ | GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    if (r->control == INVALID_HANDLE_VALUE) {
        r->control = NULL;
        return FALSE;
    }
    return DeviceIoControl(r->control, VT_CTL_WATCH, &adapter, sizeof adapter, NULL, 0, &got, NULL);
}

static void FreeRegistration(struct registration* r) {
    if (r->stop != NULL) {
        CloseHandle(r->stop);
    }
    if (r->control != NULL) {
        CloseHandle(r->control);
    }
    FreePaths(&r->present);
    free(r);
}

/* Interfaces of one class, or a handle of the test driver's adapters: the filters the
 * tests need. What is present when it registers is the starting point: only later
 * changes are reported. */
CONFIGRET WINAPI CM_Register_Notification(PCM_NOTIFY_FILTER filter, PVOID context,
                                          PCM_NOTIFY_CALLBACK callback,
                                          PHCMNOTIFICATION notification) {
    if (filter == NULL || callback == NULL || notification == NULL) {
        return CR_INVALID_POINTER;
    }
    *notification = NULL;
    const BOOL handle = filter->FilterType == CM_NOTIFY_FILTER_TYPE_DEVICEHANDLE;
    if (filter->cbSize != sizeof *filter || filter->Flags != 0 ||
        (filter->FilterType != CM_NOTIFY_FILTER_TYPE_DEVICEINTERFACE && !handle)) {
        return CR_INVALID_DATA;
    }
    struct registration* r = calloc(1, sizeof *r);
    if (r == NULL) {
        return CR_OUT_OF_MEMORY;
    }
    r->type = filter->FilterType;
    r->context = context;
    r->callback = callback;
    r->stop = CreateEventW(NULL, TRUE, FALSE, NULL);
    if (handle) {
        if (r->stop == NULL || !WatchHandle(r, filter->u.DeviceHandle.hTarget)) {
            FreeRegistration(r);
            return CR_FAILURE;
        }
    } else {
        r->classGuid = filter->u.DeviceInterface.ClassGuid;
        if (r->stop == NULL || !Present(&r->classGuid, &r->present)) {
            FreeRegistration(r);
            return CR_FAILURE;
        }
    }
    r->thread = CreateThread(NULL, 0, handle ? Answer : Watch, r, 0, &r->threadId);
    if (r->thread == NULL) {
        FreeRegistration(r);
        return CR_FAILURE;
    }
    if (!handle) {
        EnterCriticalSection(&watchersLock);
        r->next = watchers;
        watchers = r;
        LeaveCriticalSection(&watchersLock);
    }
    *notification = (HCMNOTIFICATION)r;
    if (handle) {
        Mark("registered for a handle\n", 24);
    } else {
        Mark("registered\n", 11);
    }
    return CR_SUCCESS;
}

/* Returns once no callback of the registration runs and none will. From one of its own
 * callbacks it would wait for itself: refused. */
CONFIGRET WINAPI CM_Unregister_Notification(HCMNOTIFICATION notification) {
    struct registration* r = (struct registration*)notification;
    if (r == NULL) {
        return CR_INVALID_POINTER;
    }
    if (GetCurrentThreadId() == r->threadId) {
        return CR_FAILURE;
    }
    EnterCriticalSection(&watchersLock);
    for (struct registration** w = &watchers; *w != NULL; w = &(*w)->next) {
        if (*w == r) {
            *w = r->next;
            break;
        }
    }
    LeaveCriticalSection(&watchersLock);
    SetEvent(r->stop);
    WaitForSingleObject(r->thread, INFINITE);
    CloseHandle(r->thread);
    /* A registration for a handle that waits for this one's next look stops waiting. */
    EnterCriticalSection(&watchersLock);
    while (r->waiters != 0) {
        SleepConditionVariableCS(&waitersDropped, &watchersLock, INFINITE);
    }
    LeaveCriticalSection(&watchersLock);
    FreeRegistration(r);
    return CR_SUCCESS;
}

static void MarkLoaded(HINSTANCE instance) {
    WCHAR path[MAX_PATH];
    char line[3 * MAX_PATH + 1];
    const DWORD n = GetModuleFileNameW(instance, path, MAX_PATH);
    int length = n != 0 && n < MAX_PATH ? WideCharToMultiByte(CP_UTF8, 0, path, (int)n, line,
                                                              sizeof line - 1, NULL, NULL)
                                        : 0;
    line[length++] = '\n';
    Mark(line, (DWORD)length);
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
        InitializeCriticalSection(&watchersLock);
        InitializeConditionVariable(&waitersDropped);
        MarkLoaded(instance);
    }
    return TRUE;
}
