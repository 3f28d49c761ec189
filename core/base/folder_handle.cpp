#include "core/base/folder_handle.h"

#include "core/base/path_bytes.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace kalmora {

namespace {
thread_local const FolderScope *innermostScope = nullptr;
} // namespace

static_assert(AT_FDCWD == -100, "FileAt's default is the working folder");

FolderScope::FolderScope(const QString &folder) : m_outer(innermostScope) {
    const QByteArray bytes = PathBytes(folder);
    if (folder.isEmpty() || bytes.contains('\0'))
        return;
    // A handle that only names the folder: no read of it, and the same search permission the
    // paths through it would need.
    m_fd = ::open(bytes.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (m_fd < 0)
        return; // paths are taken as they are, and fail as they would
    m_prefix = folder + QLatin1Char('/');
    innermostScope = this;
}

FolderScope::~FolderScope() {
    if (m_fd < 0)
        return;
    innermostScope = m_outer;
    ::close(m_fd);
}

std::optional<FileAt> FileAt::of(const QString &path) {
    if (path.isEmpty())
        return std::nullopt;
    FileAt file;
    if (const FolderScope *scope = innermostScope;
        scope && path.size() > scope->m_prefix.size() && path.startsWith(scope->m_prefix)) {
        const QString name = path.mid(scope->m_prefix.size());
        if (!name.contains(QLatin1Char('/'))) {
            file.dir = scope->m_fd;
            file.name = PathBytes(name);
        }
    }
    if (file.dir == AT_FDCWD)
        file.name = PathBytes(path);
    // Only a NUL character gives a zero byte (foreign bytes come back as 0x80 to 0xFF); looked
    // for in the bytes, which is the cheaper search.
    if (file.name.contains('\0'))
        return std::nullopt;
    return file;
}

const char *FileAt::wholePath() const {
    if (dir == AT_FDCWD)
        return name.constData();
    if (whole.isEmpty())
        whole = "/proc/self/fd/" + QByteArray::number(dir) + '/' + name;
    return whole.constData();
}

int InnermostFolderHandle() {
    return innermostScope ? innermostScope->m_fd : -1;
}

int OpenAt(const QString &path, int flags) {
    const auto file = FileAt::of(path);
    if (!file) {
        errno = ENOENT;
        return -1;
    }
    return ::openat(file->dir, file->name.constData(), flags | O_CLOEXEC);
}

int OpenToRead(const QString &path, int flags) {
    const auto file = FileAt::of(path);
    if (!file) {
        errno = ENOENT;
        return -1;
    }
    const int fd =
        ::openat(file->dir, file->name.constData(), O_RDONLY | O_NOATIME | O_CLOEXEC | flags);
    // Another user's file: the kernel keeps O_NOATIME to the owner.
    if (fd < 0 && errno == EPERM)
        return ::openat(file->dir, file->name.constData(), O_RDONLY | O_CLOEXEC | flags);
    return fd;
}

} // namespace kalmora
