#include "core/base/write_protection.h"

#include "core/base/path_bytes.h"

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

namespace kalmora {

bool MarkedReadOnly(uid_t owner, mode_t mode) {
    // The owner's bit first: asking who we are is a system call, needed only when it is clear.
    return (!(mode & S_IWUSR) && owner == geteuid()) || !(mode & (S_IWUSR | S_IWGRP | S_IWOTH));
}

OwnFileTarget ExamineOwnFileTarget(const QString &path) {
    struct stat info {};
    if (::lstat(PathBytes(path).constData(), &info) != 0)
        return errno == ENOENT ? OwnFileTarget::Free : OwnFileTarget::OtherEntry;
    if (S_ISLNK(info.st_mode))
        return OwnFileTarget::Link;
    return S_ISREG(info.st_mode) && info.st_uid == geteuid() ? OwnFileTarget::OwnRegularFile
                                                             : OwnFileTarget::OtherEntry;
}

} // namespace kalmora
