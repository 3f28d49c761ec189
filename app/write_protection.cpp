#include "app/write_protection.h"

#include <sys/stat.h>
#include <unistd.h>

namespace kalmora {

bool MarkedReadOnly(uid_t owner, mode_t mode) {
    return (owner == geteuid() && !(mode & S_IWUSR)) || !(mode & (S_IWUSR | S_IWGRP | S_IWOTH));
}

bool MarkedReadOnly(int fd) {
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0)
        return true;
    return MarkedReadOnly(info.st_uid, info.st_mode);
}

} // namespace kalmora
