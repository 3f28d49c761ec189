#include "core/journal/kept_originals.h"

#include "core/base/path_bytes.h"
#include "core/journal/file_capture.h"
#include "core/journal/journal_store.h"
#include "core/journal/journal_texts.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kalmora::journal_detail {

namespace {

// Keeps `from` at `to`: a hard link, else a copy (same content and stamps, on the disk) of up to
// `limit` bytes. Empty on success.
QString keepCopy(const QString &from, const QString &to, const FileState &state, qint64 limit,
                 bool *tooLarge) {
    const QByteArray a = PathBytes(from), b = PathBytes(to);
    if (::link(a.constData(), b.constData()) == 0)
        return {};
    const int linkError = errno;
    if (linkError != EXDEV && linkError != EPERM && linkError != EMLINK)
        return systemText(linkError);
    if (state.size > limit) {
        if (tooLarge)
            *tooLarge = true;
        return QStringLiteral("too large");
    }
    const int in = ::open(a.constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return systemText(errno);
    const int out = ::open(b.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (out < 0) {
        const int e = errno;
        ::close(in);
        return systemText(e);
    }
    char buffer[1 << 16];
    QString why;
    for (;;) {
        const ssize_t got = ::read(in, buffer, sizeof buffer);
        if (got < 0) {
            why = systemText(errno);
            break;
        }
        if (got == 0)
            break;
        for (ssize_t put = 0; put < got;) {
            const ssize_t n = ::write(out, buffer + put, size_t(got - put));
            if (n < 0) {
                why = systemText(errno);
                break;
            }
            put += n;
        }
        if (!why.isEmpty())
            break;
    }
    if (why.isEmpty() && ::fsync(out) != 0)
        why = systemText(errno);
    ::close(in);
    ::close(out);
    if (!why.isEmpty()) {
        ::unlink(b.constData());
        return why;
    }
    WriteStamps(to, state);
    return {};
}

} // namespace

QString keptFolder(const JournalConfig &config, qint64 batch) {
    return config.stateFolder + QStringLiteral("/originals/") + QString::number(batch);
}

qint64 highestKeptFolder(const JournalConfig &config) {
    qint64 highest = 0;
    const QString originals = config.stateFolder + QStringLiteral("/originals");
    for (const QString &name : QDir(originals).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        highest = std::max(highest, name.toLongLong());
    return highest;
}

KeepResult keepOriginal(const QString &path, const FileState &state, const QString &folder, int seq,
                        qint64 copyLimit, QString &kept, QString &reason) {
    if (!makePrivateFolder(folder)) {
        reason = cannotMakeFolderText(folder);
        return KeepResult::Failed;
    }
    kept = folder + QLatin1Char('/') + QString::number(seq);
    bool tooLarge = false;
    const QString why = keepCopy(path, kept, state, copyLimit, &tooLarge);
    if (tooLarge)
        return KeepResult::TooLarge;
    if (!why.isEmpty()) {
        reason = cannotKeepOriginalText(why);
        return KeepResult::Failed;
    }
    return KeepResult::Kept;
}

void makeKeptPrivate(const QString &kept, const FileState &now) {
    struct stat st {};
    const QByteArray bytes = PathBytes(kept);
    if (::lstat(bytes.constData(), &st) == 0 && S_ISREG(st.st_mode) &&
        quint64(st.st_ino) != now.inode && (st.st_mode & 077) != 0)
        ::chmod(bytes.constData(), st.st_mode & 07700);
}

bool removeKept(const QString &kept) {
    return !kept.isEmpty() && ::unlink(PathBytes(kept).constData()) == 0;
}

void removeKeptFolder(const QString &folder) {
    // An empty path would name the working folder.
    if (!folder.isEmpty())
        QDir(folder).removeRecursively();
}

void syncFolder(const QString &folder) {
    if (!QFile::exists(folder))
        return;
    const int fd = ::open(PathBytes(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace kalmora::journal_detail
