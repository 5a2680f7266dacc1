/* A stand-in for the adapter driver's diagnostic interface, for running quorvin.exe
 * end to end under Wine. It plays VT_ADAPTERS adapters, each with the configure, text
 * log and timing log channels, answers the three control codes as the adapter driver
 * does, and records every open, close and request it receives on those channels. */
#include <ntifs.h>

#include "vekdiag_test.h"

#define DIAG_QUERY 0xC3516000u
#define DIAG_SET 0xC3512004u
#define DIAG_READ_LOG 0xC3516008u

#define LOG_CAPACITY (64 * 1024)

/* stream options: outtimer, outinterpolate, intimer, ininterpolate */
#define KNOWN_OPTIONS 0xFu

struct log {
    ULONG length;
    UCHAR data[LOG_CAPACITY];
};

struct adapter {
    USHORT index, type;
    ULONG options, logLevel, clearCount;
    struct log logs[3]; /* indexed by channel; logs[VT_CONFIGURE] unused */
};

struct channel {
    ULONG adapter, channel;
    BOOLEAN control;
};

/* Different option masks, so that a test sees which adapter answered and how each
 * bit is named. */
static struct adapter adapters[VT_ADAPTERS] = {{.index = 0, .type = 0x1A2B, .options = 0x6},
                                               {.index = 1, .type = 0x3C4D, .options = 0x9}};
static struct vt_request requests[VT_MAX_REQUESTS];
static ULONG requestCount;
static KSPIN_LOCK lock;
static PDEVICE_OBJECT devices[VT_ADAPTERS * 3 + 1];
static HANDLE directories[VT_ADAPTERS], links[VT_ADAPTERS * 3];

static const WCHAR* const channelNames[3] = {L"VekDiagConfigure", L"VekDiagTextLog",
                                             L"VekDiagTimingLog"};

#define INTERFACE_CLASS L"{7f95af7c-f68a-4351-bb8e-268af28ea14c}"
#define INTERFACE(n) L"ROOT#VEKDIAG#000" n L"#" INTERFACE_CLASS

/* The interface paths that the registry names; Wine hands no trailing path to a
 * device, so each is an object directory holding one link per channel. */
static const WCHAR* const interfaceDirectories[VT_ADAPTERS] = {L"\\??\\" INTERFACE(L"0"),
                                                               L"\\??\\" INTERFACE(L"1")};

/* Where SetupAPI looks to tell whether an interface is present. */
#define CONTROL_KEY(n)                                                        \
    L"\\Registry\\Machine\\System\\CurrentControlSet\\Control\\DeviceClasses" \
    L"\\" INTERFACE_CLASS L"\\##?#" INTERFACE(n) L"\\#\\Control"
static const WCHAR* const controlKeys[VT_ADAPTERS] = {CONTROL_KEY(L"0"), CONTROL_KEY(L"1")};

static void Record(const struct channel* ch, ULONG kind, PIO_STACK_LOCATION sp, PVOID input,
                   NTSTATUS status) {
    KIRQL irql;
    KeAcquireSpinLock(&lock, &irql);
    if (requestCount < VT_MAX_REQUESTS) {
        struct vt_request* r = &requests[requestCount++];
        RtlZeroMemory(r, sizeof *r);
        r->adapter = ch->adapter;
        r->channel = ch->channel;
        r->kind = kind;
        r->status = (ULONG)status;
        if (kind == VT_OPEN) {
            r->share = sp->Parameters.Create.ShareAccess;
        } else if (kind == VT_IOCTL) {
            r->code = sp->Parameters.DeviceIoControl.IoControlCode;
            r->inLength = sp->Parameters.DeviceIoControl.InputBufferLength;
            r->outLength = sp->Parameters.DeviceIoControl.OutputBufferLength;
            if (input != NULL) {
                RtlCopyMemory(r->words, input, min(r->inLength, sizeof r->words));
            }
        }
    }
    KeReleaseSpinLock(&lock, irql);
}

static NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG_PTR information) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

/* The adapter driver's answers on the configure channel. */
static NTSTATUS Configure(struct adapter* a, ULONG code, ULONG* buffer, ULONG in, ULONG out,
                          ULONG_PTR* returned) {
    if (code == DIAG_QUERY) {
        if (in < 4 || out < 12) {
            return STATUS_BUFFER_TOO_SMALL;
        }
        ULONG selector = buffer[0];
        RtlZeroMemory(buffer, 12);
        if (selector == 0) {
            buffer[1] = a->index | (ULONG)a->type << 16;
        } else if (selector == 1) {
            buffer[1] = a->options;
        } else {
            return STATUS_INVALID_PARAMETER;
        }
        *returned = 12;
        return STATUS_SUCCESS;
    }
    if (code != DIAG_SET) {
        return STATUS_INVALID_DEVICE_REQUEST;
    }
    if (in < 16) {
        return STATUS_BUFFER_TOO_SMALL;
    }
    switch (buffer[0]) {
        case 0:
            a->logLevel = buffer[1];
            return STATUS_SUCCESS;
        case 2: /* exactly one known option bit */
            if ((buffer[1] & ~KNOWN_OPTIONS) != 0 || buffer[1] == 0 ||
                (buffer[1] & (buffer[1] - 1)) != 0) {
                return STATUS_INVALID_PARAMETER;
            }
            a->options = buffer[2] != 0 ? a->options | buffer[1] : a->options & ~buffer[1];
            return STATUS_SUCCESS;
        case 3:
            ++a->clearCount;
            return STATUS_SUCCESS;
        default:
            return STATUS_INVALID_PARAMETER;
    }
}

/* Hands out the oldest bytes of a log and drops them from it. */
static NTSTATUS ReadLog(struct log* log, UCHAR* buffer, ULONG out, ULONG_PTR* returned) {
    ULONG n = min(out, log->length);
    RtlCopyMemory(buffer, log->data, n);
    RtlMoveMemory(log->data, log->data + n, log->length - n);
    log->length -= n;
    *returned = n;
    return STATUS_SUCCESS;
}

static NTSTATUS Control(ULONG code, UCHAR* buffer, ULONG in, ULONG out, ULONG_PTR* returned) {
    if (code == VT_CTL_LOAD) {
        struct vt_load_header h;
        if (in < sizeof h) {
            return STATUS_BUFFER_TOO_SMALL;
        }
        RtlCopyMemory(&h, buffer, sizeof h);
        if (h.adapter >= VT_ADAPTERS || (h.channel != VT_TEXT_LOG && h.channel != VT_TIMING_LOG)) {
            return STATUS_INVALID_PARAMETER;
        }
        struct log* log = &adapters[h.adapter].logs[h.channel];
        ULONG n = in - sizeof h;
        if (n > LOG_CAPACITY - log->length) {
            return STATUS_BUFFER_OVERFLOW;
        }
        RtlCopyMemory(log->data + log->length, buffer + sizeof h, n);
        log->length += n;
        return STATUS_SUCCESS;
    }
    if (code == VT_CTL_STATE) {
        ULONG index;
        if (in < sizeof index || out < sizeof(struct vt_state)) {
            return STATUS_BUFFER_TOO_SMALL;
        }
        RtlCopyMemory(&index, buffer, sizeof index);
        if (index >= VT_ADAPTERS) {
            return STATUS_INVALID_PARAMETER;
        }
        struct adapter* a = &adapters[index];
        struct vt_state s = {a->options, a->logLevel, a->clearCount, a->logs[VT_TEXT_LOG].length,
                             a->logs[VT_TIMING_LOG].length};
        RtlCopyMemory(buffer, &s, sizeof s);
        *returned = sizeof s;
        return STATUS_SUCCESS;
    }
    if (code == VT_CTL_TAKE_REQUESTS) {
        ULONG n = min(requestCount, out / sizeof(struct vt_request));
        RtlCopyMemory(buffer, requests, n * sizeof(struct vt_request));
        RtlMoveMemory(requests, requests + n, (requestCount - n) * sizeof(struct vt_request));
        requestCount -= n;
        *returned = n * sizeof(struct vt_request);
        return STATUS_SUCCESS;
    }
    return STATUS_INVALID_DEVICE_REQUEST;
}

static NTSTATUS DispatchOpenClose(PDEVICE_OBJECT device, PIRP irp) {
    struct channel* ch = device->DeviceExtension;
    PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
    if (!ch->control) {
        Record(ch, sp->MajorFunction == IRP_MJ_CREATE ? VT_OPEN : VT_CLOSE, sp, NULL,
               STATUS_SUCCESS);
    }
    return Complete(irp, STATUS_SUCCESS, 0);
}

static NTSTATUS DispatchControl(PDEVICE_OBJECT device, PIRP irp) {
    struct channel* ch = device->DeviceExtension;
    PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
    ULONG code = sp->Parameters.DeviceIoControl.IoControlCode;
    ULONG in = sp->Parameters.DeviceIoControl.InputBufferLength;
    ULONG out = sp->Parameters.DeviceIoControl.OutputBufferLength;
    UCHAR* buffer = irp->AssociatedIrp.SystemBuffer;
    ULONG_PTR returned = 0;
    NTSTATUS status;
    ULONG words[4] = {0};

    if (buffer != NULL) {
        RtlCopyMemory(words, buffer, min(in, sizeof words));
    }
    KIRQL irql;
    KeAcquireSpinLock(&lock, &irql);
    if (ch->control) {
        status = Control(code, buffer, in, out, &returned);
    } else if (ch->channel == VT_CONFIGURE) {
        status = Configure(&adapters[ch->adapter], code, (ULONG*)buffer, in, out, &returned);
    } else if (code == DIAG_READ_LOG) {
        status = ReadLog(&adapters[ch->adapter].logs[ch->channel], buffer, out, &returned);
    } else {
        status = STATUS_INVALID_DEVICE_REQUEST;
    }
    KeReleaseSpinLock(&lock, irql);
    if (!ch->control) {
        Record(ch, VT_IOCTL, sp, words, status);
    }
    return Complete(irp, status, returned);
}

static NTSTATUS MakeDevice(PDRIVER_OBJECT driver, const WCHAR* name, ULONG slot,
                           struct channel ch) {
    UNICODE_STRING us;
    RtlInitUnicodeString(&us, name);
    NTSTATUS status =
        IoCreateDevice(driver, sizeof ch, &us, FILE_DEVICE_UNKNOWN, 0, FALSE, &devices[slot]);
    if (NT_SUCCESS(status)) {
        *(struct channel*)devices[slot]->DeviceExtension = ch;
        devices[slot]->Flags |= DO_BUFFERED_IO;
        devices[slot]->Flags &= ~DO_DEVICE_INITIALIZING;
    }
    return status;
}

static NTSTATUS MakeLink(HANDLE directory, const WCHAR* name, const WCHAR* target, HANDLE* link) {
    UNICODE_STRING us, ts;
    OBJECT_ATTRIBUTES oa;
    RtlInitUnicodeString(&us, name);
    RtlInitUnicodeString(&ts, target);
    InitializeObjectAttributes(&oa, &us, OBJ_CASE_INSENSITIVE, directory, NULL);
    return ZwCreateSymbolicLinkObject(link, SYMBOLIC_LINK_ALL_ACCESS, &oa, &ts);
}

/* What the system does when a driver switches its interfaces on or off. */
static void SetInterfacesPresent(ULONG present) {
    for (ULONG a = 0; a < VT_ADAPTERS; ++a) {
        NTSTATUS status = RtlWriteRegistryValue(RTL_REGISTRY_ABSOLUTE, controlKeys[a], L"Linked",
                                                REG_DWORD, &present, sizeof present);
        if (!NT_SUCCESS(status)) {
            DbgPrint("vekdiagtest: cannot mark interface %lu, status %08lx\n", a, status);
        }
    }
}

static void Unload(PDRIVER_OBJECT driver) {
    UNREFERENCED_PARAMETER(driver);
    SetInterfacesPresent(0);
    UNICODE_STRING us;
    RtlInitUnicodeString(&us, L"\\??\\VekDiagTestControl");
    IoDeleteSymbolicLink(&us);
    for (ULONG i = 0; i < VT_ADAPTERS * 3; ++i) {
        if (links[i] != NULL) {
            ZwClose(links[i]);
        }
    }
    for (ULONG i = 0; i < VT_ADAPTERS; ++i) {
        if (directories[i] != NULL) {
            ZwClose(directories[i]);
        }
    }
    for (ULONG i = 0; i < VT_ADAPTERS * 3 + 1; ++i) {
        if (devices[i] != NULL) {
            IoDeleteDevice(devices[i]);
        }
    }
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
    UNREFERENCED_PARAMETER(registryPath);
    KeInitializeSpinLock(&lock);
    driver->MajorFunction[IRP_MJ_CREATE] = DispatchOpenClose;
    driver->MajorFunction[IRP_MJ_CLOSE] = DispatchOpenClose;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchControl;
    driver->DriverUnload = Unload;

    NTSTATUS status = MakeDevice(driver, L"\\Device\\VekDiagTestControl", VT_ADAPTERS * 3,
                                 (struct channel){0, 0, TRUE});
    UNICODE_STRING dosName, deviceName;
    RtlInitUnicodeString(&dosName, L"\\??\\VekDiagTestControl");
    RtlInitUnicodeString(&deviceName, L"\\Device\\VekDiagTestControl");
    if (NT_SUCCESS(status)) {
        status = IoCreateSymbolicLink(&dosName, &deviceName);
    }
    for (ULONG a = 0; NT_SUCCESS(status) && a < VT_ADAPTERS; ++a) {
        UNICODE_STRING us;
        OBJECT_ATTRIBUTES oa;
        RtlInitUnicodeString(&us, interfaceDirectories[a]);
        InitializeObjectAttributes(&oa, &us, OBJ_CASE_INSENSITIVE, NULL, NULL);
        status = ZwCreateDirectoryObject(&directories[a], DIRECTORY_ALL_ACCESS, &oa);
        for (ULONG c = 0; NT_SUCCESS(status) && c < 3; ++c) {
            WCHAR buffer[64];
            WCHAR digit[2] = {L'0' + (WCHAR)a, 0};
            UNICODE_STRING name = {0, sizeof buffer, buffer};
            RtlAppendUnicodeToString(&name, L"\\Device\\VekDiagTest");
            RtlAppendUnicodeToString(&name, digit);
            RtlAppendUnicodeToString(&name, channelNames[c]);
            buffer[name.Length / sizeof(WCHAR)] = 0;
            status = MakeDevice(driver, buffer, a * 3 + c, (struct channel){a, c, FALSE});
            if (NT_SUCCESS(status)) {
                status = MakeLink(directories[a], channelNames[c], buffer, &links[a * 3 + c]);
            }
        }
    }
    if (!NT_SUCCESS(status)) {
        DbgPrint("vekdiagtest: start failed, status %08lx\n", status);
        Unload(driver);
    } else {
        SetInterfacesPresent(1);
    }
    return status;
}
