#include "filetime/video_date.h"

#include "app/comm_declare.h"
#include "app/path_bytes.h"

#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

// The wide-character entries of the C interface.
#define UNICODE
#include <MediaInfoDLL/MediaInfoDLL_Static.h>
#undef UNICODE

namespace kalmora {

namespace {
const QString FieldName = QStringLiteral("File last modification date (local)");
} // namespace

QString ExtractVideoDate(const QString &report) {
    const qsizetype p = report.indexOf(FieldName);
    if (p < 0)
        return {};
    const QString t = report.mid(p + FieldName.size(), 50);
    const qsizetype q = t.indexOf(QLatin1Char(':'));
    if (q < 0)
        return {};
    return t.mid(q + 2, 19);
}

QString ReadVideoDate(const QString &path) {
    // MediaInfo reports a file it cannot open as an empty report; a missing file is no video.
    if (path.isEmpty() || path.contains(QChar(u'\0')))
        return {};
    const int fd = ::open(PathBytes(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return {};
    const auto closeFile = qScopeGuard([fd] { ::close(fd); });
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        return {};
    // MediaInfo turns a wide path into bytes with the process locale, which under "C" cannot
    // spell a Chinese name. The open file's own name in /proc is plain ASCII and leads to
    // exactly this file, whatever its name's bytes.
    const QString procName = QStringLiteral("/proc/self/fd/%1").arg(fd);
    const std::wstring file = (QFileInfo::exists(procName) ? procName : path).toStdWString();
    void *handle = MediaInfo_New();
    if (!handle)
        return {};
    MediaInfo_Open(handle, file.c_str());
    MediaInfo_Option(handle, L"Complete", L"1");
    const QString report = StringFromWidePointer(MediaInfo_Inform(handle, 0));
    MediaInfo_Close(handle);
    MediaInfo_Delete(handle);
    return ExtractVideoDate(report);
}

} // namespace kalmora
