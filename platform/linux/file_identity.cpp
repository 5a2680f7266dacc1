// A file is the same as another when both are one inode of one device.

#include "platform/file_identity.h"

#include <sys/stat.h>

int NameTheSameFile(const char* first, const char* second) {
    struct stat a {};
    struct stat b {};
    if (stat(first, &a) != 0 || stat(second, &b) != 0) {
        return 0;
    }
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino ? 1 : 0;
}
