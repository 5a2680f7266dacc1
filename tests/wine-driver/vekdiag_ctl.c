/* The test's side of the driver's control channel: loads the adapters' logs and
 * prints what the driver has, and what it received on the adapters' channels. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include "vekdiag_test.h"

static const char* const channelNames[] = {"configure", "text", "timing"};

static HANDLE control;

static int Request(DWORD code, void* in, DWORD inLength, void* out, DWORD outLength,
                   DWORD* returned) {
    if (!DeviceIoControl(control, code, in, inLength, out, outLength, returned, NULL)) {
        fprintf(stderr, "vekdiag-ctl: request %08lx failed, error %lu\n", code, GetLastError());
        return 0;
    }
    return 1;
}

static int Load(unsigned adapter, const char* channel, const char* fileName) {
    FILE* file = fopen(fileName, "rb");
    if (file == NULL) {
        fprintf(stderr, "vekdiag-ctl: cannot read %s\n", fileName);
        return 1;
    }
    static unsigned char buffer[sizeof(struct vt_load_header) + 65536];
    struct vt_load_header h = {adapter, strcmp(channel, "text") == 0 ? VT_TEXT_LOG : VT_TIMING_LOG};
    memcpy(buffer, &h, sizeof h);
    size_t n = fread(buffer + sizeof h, 1, sizeof buffer - sizeof h, file);
    fclose(file);
    DWORD returned;
    return Request(VT_CTL_LOAD, buffer, (DWORD)(sizeof h + n), NULL, 0, &returned) ? 0 : 1;
}

static int State(unsigned adapter) {
    struct vt_state s;
    DWORD returned;
    if (!Request(VT_CTL_STATE, &adapter, sizeof adapter, &s, sizeof s, &returned)) {
        return 1;
    }
    printf("options %u loglevel %u clears %u text %u timing %u\n", s.options, s.logLevel,
           s.clearCount, s.textLeft, s.timingLeft);
    return 0;
}

/* Prints the record and empties it. The closes of a program that has just ended reach
 * the driver a little after it, so this waits, a while at most, until every channel
 * opened has been closed. */
static int Requests(void) {
    static struct vt_request r[VT_MAX_REQUESTS];
    DWORD count = 0;
    int open = 0;
    for (int attempt = 0; attempt < 50; ++attempt) {
        DWORD returned;
        if (!Request(VT_CTL_TAKE_REQUESTS, NULL, 0, r + count,
                     (DWORD)((VT_MAX_REQUESTS - count) * sizeof r[0]), &returned)) {
            return 1;
        }
        for (DWORD i = count; i < count + returned / sizeof r[0]; ++i) {
            open += r[i].kind == VT_OPEN ? 1 : r[i].kind == VT_CLOSE ? -1 : 0;
        }
        count += returned / sizeof r[0];
        if (open == 0) {
            break;
        }
        Sleep(100);
    }
    for (DWORD i = 0; i < count; ++i) {
        const char* channel = channelNames[r[i].channel];
        if (r[i].kind == VT_OPEN) {
            printf("open %u %s share %u\n", r[i].adapter, channel, r[i].share);
        } else if (r[i].kind == VT_CLOSE) {
            printf("close %u %s\n", r[i].adapter, channel);
        } else {
            printf("ioctl %u %s %08x in %u out %u status %08x:", r[i].adapter, channel, r[i].code,
                   r[i].inLength, r[i].outLength, r[i].status);
            for (unsigned w = 0; w < r[i].inLength / 4 && w < 4; ++w) {
                printf(" %u", r[i].words[w]);
            }
            printf("\n");
        }
    }
    return 0;
}

int main(int argc, char** argv) {
    control = CreateFileA(VT_CONTROL_DOS_NAME, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                          0, NULL);
    if (control == INVALID_HANDLE_VALUE) {
        fprintf(stderr, "vekdiag-ctl: cannot open the driver's control channel, error %lu\n",
                GetLastError());
        return 1;
    }
    if (argc == 5 && strcmp(argv[1], "load") == 0) {
        return Load((unsigned)atoi(argv[2]), argv[3], argv[4]);
    }
    if (argc == 3 && strcmp(argv[1], "state") == 0) {
        return State((unsigned)atoi(argv[2]));
    }
    if (argc == 2 && strcmp(argv[1], "requests") == 0) {
        return Requests();
    }
    fprintf(stderr,
            "usage: vekdiag-ctl load ADAPTER text|timing FILE | state ADAPTER | requests\n");
    return 2;
}
