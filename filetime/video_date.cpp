#include "filetime/video_date.h"

#include "app/comm_declare.h"

#include <QFileInfo>

#include <string>

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
    if (!QFileInfo(path).isFile())
        return {};
    void *handle = MediaInfo_New();
    if (!handle)
        return {};
    const std::wstring file = path.toStdWString();
    MediaInfo_Open(handle, file.c_str());
    MediaInfo_Option(handle, L"Complete", L"1");
    const QString report = StringFromWidePointer(MediaInfo_Inform(handle, 0));
    MediaInfo_Close(handle);
    MediaInfo_Delete(handle);
    return ExtractVideoDate(report);
}

} // namespace kalmora
