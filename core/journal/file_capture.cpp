// The journal's reads of the batch's files and its writes of their stamps.
#include "core/journal/file_capture.h"

#include "core/base/folder_handle.h"
#include "core/base/path_bytes.h"
#include "core/filetime/file_times.h"

#include <QIODevice>
#include <QtEndian>

#include <openssl/evp.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <vector>

namespace kalmora {

namespace {

constexpr qint64 TicksPerSecond = 10'000'000;
constexpr qint64 SecondsFrom1601To1970 = 11'644'473'600;
constexpr char NtfsCreation[] = "system.ntfs_crtime";

} // namespace

namespace journal_detail {

QString systemText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// The C library's hash, not Qt's: it uses the processor's SHA instructions and hashes a photo
// about fifteen times as fast, and the erase hashes each photo twice.
QByteArray contentHash(const QString &path) {
    QFile file;
    if (!OpenUntouched(file, path))
        return {};
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                          EVP_MD_CTX_free);
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1)
        return {};
    std::vector<char> buffer(size_t(1) << 20);
    for (;;) {
        const qint64 got = file.read(buffer.data(), qint64(buffer.size()));
        if (got < 0)
            return {};
        if (got == 0)
            break;
        if (EVP_DigestUpdate(context.get(), buffer.data(), size_t(got)) != 1)
            return {};
    }
    QByteArray digest(EVP_MAX_MD_SIZE, Qt::Uninitialized);
    unsigned int size = 0;
    if (EVP_DigestFinal_ex(context.get(), reinterpret_cast<unsigned char *>(digest.data()),
                           &size) != 1)
        return {};
    digest.truncate(int(size));
    return digest;
}

FileState readState(const QString &path, bool withHash, bool *link) {
    unsigned mode = 0;
    FileState s = StatFileState(path, &mode);
    if (link)
        *link = s.exists && S_ISLNK(mode);
    if (withHash && s.exists && S_ISREG(mode))
        s.hash = contentHash(path);
    return s;
}

} // namespace journal_detail

using namespace journal_detail;

bool OpenUntouched(QFile &file, const QString &path) {
    return OpenPath(file, path, O_RDONLY | O_NONBLOCK | O_NOATIME, QIODevice::ReadOnly) ||
           OpenPath(file, path, O_RDONLY | O_NONBLOCK, QIODevice::ReadOnly);
}

FileState ReadFileState(const QString &path, bool withHash) {
    return readState(path, withHash);
}

QString WriteStamps(const QString &path, const FileState &state) {
    const auto file = FileAt::of(path);
    if (!file)
        return systemText(ENOENT);
    const timespec times[2] = {{time_t(state.access.sec), long(state.access.nsec)},
                               {time_t(state.modification.sec), long(state.modification.nsec)}};
    if (::utimensat(file->dir, file->name.constData(), times, AT_SYMLINK_NOFOLLOW) != 0)
        return systemText(errno);
    if (state.creationSettable) {
        unsigned char raw[8];
        qToLittleEndian<quint64>(quint64(state.creation.sec + SecondsFrom1601To1970) *
                                         TicksPerSecond +
                                     quint64(state.creation.nsec / 100),
                                 raw);
        if (::setxattr(file->wholePath(), NtfsCreation, raw, sizeof raw, 0) != 0)
            return systemText(errno);
    }
    return {};
}

} // namespace kalmora
