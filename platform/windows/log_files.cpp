// Log files on Windows: names resolved as the system resolves them, files opened with a
// sharing mode that denies writing to every other program, and folders listed and
// patterns of file names matched as the system does it.
#include "platform/log_files.h"

#include <io.h>
#include <share.h>
#include <stdlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/win32.h"

namespace {

constexpr DWORD ANY_SHARING = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Opens a file or folder only to look at it, whoever else holds it; backup semantics
// let a folder be opened too.
HANDLE OpenToLookAt(const std::string& name) {
    return CreateFileA(name.c_str(), 0, ANY_SHARING, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool SameExistingFile(const char* first, const char* second) {
    BY_HANDLE_FILE_INFORMATION a;
    BY_HANDLE_FILE_INFORMATION b;
    const auto read = [](const char* name, BY_HANDLE_FILE_INFORMATION* information) {
        const HANDLE file = OpenToLookAt(name);
        if (file == INVALID_HANDLE_VALUE) {
            return false;
        }
        const BOOL done = GetFileInformationByHandle(file, information);
        CloseHandle(file);
        return done != FALSE;
    };
    return read(first, &a) && read(second, &b) &&
           a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

// The final name of an existing file or folder, links and junctions followed; empty
// when it cannot be had.
std::string FinalName(const std::string& name) {
    const HANDLE file = OpenToLookAt(name);
    if (file == INVALID_HANDLE_VALUE) {
        return {};
    }
    char finalName[32768];
    const DWORD length =
        GetFinalPathNameByHandleA(file, finalName, sizeof finalName, FILE_NAME_NORMALIZED);
    CloseHandle(file);
    if (length == 0 || length >= sizeof finalName) {
        return {};
    }
    std::string path(finalName, length);
    if (path.rfind("\\\\?\\UNC\\", 0) == 0) {
        path.replace(0, 8, "\\\\");
    } else if (path.rfind("\\\\?\\", 0) == 0) {
        path.erase(0, 4);
    }
    return path;
}

// The full name, "." and ".." folded and trailing dots and spaces dropped as the system
// does, with the longest part of it that exists replaced by its final name.
std::string Resolve(const char* name) {
    char full[32768];
    const DWORD length = GetFullPathNameA(name, sizeof full, full, nullptr);
    if (length == 0 || length >= sizeof full) {
        return name;
    }
    std::string path(full, length);
    for (size_t end = path.size(); end != std::string::npos && end > 0;
         end = path.find_last_of('\\', end - 1)) {
        const std::string existing = FinalName(path.substr(0, end));
        if (!existing.empty()) {
            return existing + path.substr(end);
        }
    }
    return path;
}

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
    return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()),
                          b.data(), static_cast<int>(b.size())) == CSTR_EQUAL;
}

// The folder part of a name as written, with its last separator: "" when it has none.
std::string FolderPart(const std::string& name) {
    const size_t end = name.find_last_of("\\/:");
    return end == std::string::npos ? std::string() : name.substr(0, end + 1);
}

// The files in the folder that match the pattern, each after the folder part; folders
// left out. Zero, errno set, when the folder cannot be listed.
int FindFiles(const std::string& pattern, std::vector<std::string>* files) {
    files->clear();
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        errno = error == ERROR_FILE_NOT_FOUND   ? 0
                : error == ERROR_PATH_NOT_FOUND ? ENOENT
                : error == ERROR_ACCESS_DENIED  ? EACCES
                                                : EIO;
        return errno == 0 ? 1 : 0;
    }
    const std::string folder = FolderPart(pattern);
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            files->push_back(folder + found.cFileName);
        }
    } while (FindNextFileA(search, &found) != FALSE);
    FindClose(search);
    return 1;
}

}  // namespace

int NameTheSameFile(const char* first, const char* second) {
    return SameExistingFile(first, second) || EqualIgnoringCase(Resolve(first), Resolve(second))
               ? 1
               : 0;
}

FILE* CreateLogFile(const char* name, bool binary, bool* inUse) {
    FILE* file = _fsopen(name, binary ? "wb" : "w", _SH_DENYWR);
    *inUse = file == nullptr && _doserrno == ERROR_SHARING_VIOLATION;
    return file;
}

FILE* AppendLogFile(const char* name, bool* inUse) {
    FILE* file = _fsopen(name, "a", _SH_DENYWR);
    *inUse = file == nullptr && _doserrno == ERROR_SHARING_VIOLATION;
    return file;
}

int SyncLogFile(FILE* file) {
    if (std::fflush(file) != 0) {
        return 0;
    }
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    if (FlushFileBuffers(handle) != FALSE) {
        return 1;
    }
    // A console or pipe has nothing to write through.
    const DWORD error = GetLastError();
    if (error == ERROR_INVALID_HANDLE || error == ERROR_INVALID_FUNCTION) {
        return 1;
    }
    errno = EIO;
    return 0;
}

int DeleteLogFile(const char* name) {
    if (DeleteFileA(name) != FALSE) {
        return 1;
    }
    switch (GetLastError()) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            errno = ENOENT;
            break;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            errno = EACCES;
            break;
        default:
            errno = EIO;
            break;
    }
    return 0;
}

int ListFilesBeside(const char* name, std::vector<std::string>* files) {
    return FindFiles(FolderPart(name) + "*", files);
}

std::vector<std::string> ExpandFileArgument(const char* argument) {
    const std::string pattern = argument;
    if (pattern.find_first_of("*?") == std::string::npos) {
        return {pattern};
    }
    std::vector<std::string> files;
    FindFiles(pattern, &files);
    std::sort(files.begin(), files.end(), [](const std::string& a, const std::string& b) {
        const int order =
            CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()),
                           b.data(), static_cast<int>(b.size()));
        return order == CSTR_LESS_THAN || (order == CSTR_EQUAL && a < b);
    });
    return files;
}
