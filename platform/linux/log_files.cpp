// Log files on Linux: names resolved as the kernel resolves them, and an exclusive
// advisory lock, taken before the file is emptied, that keeps a second writer of ours
// out.
#include "platform/log_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <deque>
#include <string>
#include <vector>

namespace {

// Symbolic links followed before a name is taken as a loop, as the kernel does.
constexpr int MAX_LINKS = 40;

std::deque<std::string> Components(const std::string& path) {
    std::deque<std::string> parts;
    size_t at = 0;
    while (at <= path.size()) {
        size_t end = path.find('/', at);
        if (end == std::string::npos) {
            end = path.size();
        }
        const std::string part = path.substr(at, end - at);
        if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        at = end + 1;
    }
    return parts;
}

std::string Join(const std::vector<std::string>& parts) {
    std::string path;
    for (const std::string& part : parts) {
        path += "/" + part;
    }
    return path.empty() ? "/" : path;
}

std::string WorkingFolder() {
    char folder[PATH_MAX];
    return ::getcwd(folder, sizeof folder) != nullptr ? folder : "/";
}

// The absolute name the file will have: links followed as long as the path exists,
// the rest folded as written.
std::string Resolve(const char* name) {
    std::deque<std::string> pending =
        Components(name[0] == '/' ? name : WorkingFolder() + "/" + name);
    std::vector<std::string> resolved;
    bool exists = true;
    int links = 0;
    while (!pending.empty()) {
        const std::string part = pending.front();
        pending.pop_front();
        if (part == "..") {
            if (!resolved.empty()) {
                resolved.pop_back();
            }
            continue;
        }
        resolved.push_back(part);
        if (!exists) {
            continue;
        }
        const std::string path = Join(resolved);
        struct stat status {};
        if (::lstat(path.c_str(), &status) != 0) {
            exists = false;
            continue;
        }
        if (!S_ISLNK(status.st_mode) || ++links > MAX_LINKS) {
            continue;
        }
        std::string target(PATH_MAX, '\0');
        const ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
        if (length <= 0) {
            continue;
        }
        target.resize(static_cast<size_t>(length));
        resolved.pop_back();
        if (target[0] == '/') {
            resolved.clear();
        }
        std::deque<std::string> parts = Components(target);
        pending.insert(pending.begin(), parts.begin(), parts.end());
    }
    return Join(resolved);
}

bool SameExistingFile(const char* first, const char* second) {
    struct stat a {};
    struct stat b {};
    return ::stat(first, &a) == 0 && ::stat(second, &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}

// Opens the file, and takes a regular file under the lock; then empties it if asked.
FILE* OpenLocked(const char* name, int flags, const char* mode, bool* inUse) {
    *inUse = false;
    const int fd = ::open(name, O_WRONLY | O_CREAT | O_CLOEXEC | flags, 0666);
    if (fd < 0) {
        return nullptr;
    }
    // Only a regular file is held: a device such as /dev/null is everybody's at once.
    int error = 0;
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        error = errno;
    } else if (S_ISREG(status.st_mode)) {
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            error = errno;
            *inUse = error == EWOULDBLOCK;
        } else if ((flags & O_APPEND) == 0 && ::ftruncate(fd, 0) != 0) {
            error = errno;
        }
    }
    FILE* file = error == 0 ? ::fdopen(fd, mode) : nullptr;
    if (file == nullptr) {
        error = error != 0 ? error : errno;
        ::close(fd);
        errno = error;
    }
    return file;
}

}  // namespace

int NameTheSameFile(const char* first, const char* second) {
    return SameExistingFile(first, second) || Resolve(first) == Resolve(second) ? 1 : 0;
}

FILE* CreateLogFile(const char* name, bool binary, bool* inUse) {
    return OpenLocked(name, 0, binary ? "wb" : "w", inUse);
}

FILE* AppendLogFile(const char* name, bool* inUse) {
    return OpenLocked(name, O_APPEND, "a", inUse);
}

int SyncLogFile(FILE* file) {
    if (std::fflush(file) != 0) {
        return 0;
    }
    // A device or pipe has nothing to write through.
    return ::fdatasync(::fileno(file)) == 0 || errno == EINVAL || errno == EROFS ? 1 : 0;
}

int DeleteLogFile(const char* name) {
    return ::unlink(name) == 0 ? 1 : 0;
}

int ListFilesBeside(const char* name, std::vector<std::string>* files) {
    const std::string path = name;
    const size_t slash = path.rfind('/');
    const std::string prefix =
        slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    DIR* folder = ::opendir(prefix.empty() ? "." : prefix.c_str());
    if (folder == nullptr) {
        return 0;
    }
    files->clear();
    while (const dirent* entry = ::readdir(folder)) {
        const std::string file = prefix + entry->d_name;
        struct stat status {};
        if (::stat(file.c_str(), &status) == 0 && S_ISREG(status.st_mode)) {
            files->push_back(file);
        }
    }
    ::closedir(folder);
    return 1;
}

std::vector<std::string> ExpandFileArgument(const char* argument) {
    return {argument};
}
