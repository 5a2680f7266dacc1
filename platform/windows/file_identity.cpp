// A file is the same as another when both live on one volume under one file index,
// which is what every name of it, and every hard link to it, opens.

#include "platform/file_identity.h"

#include "platform/win32.h"

namespace {

struct FileIdentity {
    DWORD volume = 0;
    DWORD indexHigh = 0;
    DWORD indexLow = 0;
};

int ReadFileIdentity(const char* name, FileIdentity* identity) {
    // No access is asked for, only the attributes, and every kind of sharing is granted,
    // so a file another program holds open can still be looked at; backup semantics let
    // a folder be opened too.
    const HANDLE file = CreateFileA(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return 0;
    }
    BY_HANDLE_FILE_INFORMATION information;
    const BOOL read = GetFileInformationByHandle(file, &information);
    CloseHandle(file);
    if (read == FALSE) {
        return 0;
    }
    identity->volume = information.dwVolumeSerialNumber;
    identity->indexHigh = information.nFileIndexHigh;
    identity->indexLow = information.nFileIndexLow;
    return 1;
}

}  // namespace

int NameTheSameFile(const char* first, const char* second) {
    FileIdentity a;
    FileIdentity b;
    if (ReadFileIdentity(first, &a) == 0 || ReadFileIdentity(second, &b) == 0) {
        return 0;
    }
    return a.volume == b.volume && a.indexHigh == b.indexHigh && a.indexLow == b.indexLow ? 1 : 0;
}
