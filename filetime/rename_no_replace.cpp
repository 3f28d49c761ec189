#include "filetime/rename_no_replace.h"

#include "app/path_bytes.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace kalmora {

namespace {

RenameError classify(int error) {
    switch (error) {
    case EEXIST:
    case ENOTEMPTY:
        return RenameError::Exists;
    case ENOENT:
    case EACCES:
    case EPERM:
    case EROFS:
    case ENAMETOOLONG:
        return RenameError::Access;
    default:
        return RenameError::Other;
    }
}

} // namespace

RenameError RenameNoReplace(const QString &from, const QString &to) {
    const QByteArray a = PathBytes(from), b = PathBytes(to);
    if (renameat2(AT_FDCWD, a.constData(), AT_FDCWD, b.constData(), RENAME_NOREPLACE) == 0)
        return RenameError::None;
    if (errno != EINVAL && errno != ENOSYS)
        return classify(errno);
    // The file system cannot refuse a replacement by itself: a hard link cannot replace
    // anything either, and the old name goes only once the new one exists.
    if (link(a.constData(), b.constData()) != 0)
        return classify(errno);
    if (unlink(a.constData()) != 0) {
        const int error = errno;
        unlink(b.constData()); // the file keeps exactly one name
        return classify(error);
    }
    return RenameError::None;
}

} // namespace kalmora
