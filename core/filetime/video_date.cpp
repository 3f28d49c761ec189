#include "core/filetime/video_date.h"

#include "core/base/folder_handle.h"
#include "core/base/path_bytes.h"
#include "core/filetime/file_times.h"
#include "core/platform/comm_declare.h"
#include "core/platform/settings.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScopeGuard>

#include <dlfcn.h>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <type_traits>
#include <unistd.h>

// The wide-character entries of the C interface.
#define UNICODE
#include <MediaInfoDLL/MediaInfoDLL_Static.h>
#undef UNICODE

namespace kalmora {

namespace {

// MediaInfo is loaded when the first video is read, not at start-up: it pulls some twenty more
// libraries (the network ones among them), which every program of the core would load and
// relocate before doing anything else. The header gives the types; nothing links against it.
constexpr const char *MediaInfoLibrary = "libmediainfo.so.0";

struct MediaInfoCalls {
    decltype(&::MediaInfo_New) create = nullptr;
    decltype(&::MediaInfo_Open) open = nullptr;
    decltype(&::MediaInfo_Option) option = nullptr;
    decltype(&::MediaInfo_Inform) inform = nullptr;
    decltype(&::MediaInfo_Get) get = nullptr;
    decltype(&::MediaInfo_Close) close = nullptr;
    decltype(&::MediaInfo_Delete) destroy = nullptr;
    QString error; // why the library could not be used; empty when it can
};

const MediaInfoCalls &mediaInfo() {
    static MediaInfoCalls calls;
    static std::once_flag loaded;
    std::call_once(loaded, [] {
        // Once loaded it stays: its handles and static data live until the program ends.
        void *library = ::dlopen(MediaInfoLibrary, RTLD_NOW | RTLD_LOCAL);
        if (!library) {
            const char *why = ::dlerror();
            calls.error =
                QStringLiteral("无法载入视频信息库 %1：%2")
                    .arg(QLatin1String(MediaInfoLibrary), QString::fromLocal8Bit(why ? why : ""));
            return;
        }
        const auto resolve = [library](auto &slot, const char *name) {
            slot =
                reinterpret_cast<std::remove_reference_t<decltype(slot)>>(::dlsym(library, name));
            if (!slot && calls.error.isEmpty())
                calls.error = QStringLiteral("视频信息库 %1 缺少 %2")
                                  .arg(QLatin1String(MediaInfoLibrary), QLatin1String(name));
        };
        resolve(calls.create, "MediaInfo_New");
        resolve(calls.open, "MediaInfo_Open");
        resolve(calls.option, "MediaInfo_Option");
        resolve(calls.inform, "MediaInfo_Inform");
        resolve(calls.get, "MediaInfo_Get");
        resolve(calls.close, "MediaInfo_Close");
        resolve(calls.destroy, "MediaInfo_Delete");
    });
    return calls;
}

const QString FieldName = QStringLiteral("File last modification date (local)");

// The container's own dates, the most telling first: the phone's local creation date, then the
// recording, encoding and tagging dates.
const wchar_t *const RecordedFields[] = {L"com.apple.quicktime.creationdate", L"Recorded_Date",
                                         L"Encoded_Date", L"Tagged_Date"};
} // namespace

std::optional<DateTime> ContainerDateToLocal(const QString &value) {
    static const QRegularExpression re(
        QStringLiteral(R"(^(UTC\s+)?(\d{4})-(\d{2})-(\d{2})[T ](\d{2}):(\d{2}):(\d{2})(\.\d+)?)"
                       R"(\s*(UTC|Z|[+-]\d{2}:?\d{2})?$)"));
    const QRegularExpressionMatch m = re.match(value.trimmed());
    if (!m.hasMatch())
        return std::nullopt;
    const QDate date(m.captured(2).toInt(), m.captured(3).toInt(), m.captured(4).toInt());
    const QTime time(m.captured(5).toInt(), m.captured(6).toInt(), m.captured(7).toInt());
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    const QString zone = m.captured(9);
    // Local time by the rules the file stamps use, those in force on that date.
    if (!m.captured(1).isEmpty() || zone == QStringLiteral("UTC") || zone == QStringLiteral("Z"))
        return UtcSecondsToLocal(QDateTime(date, time, Qt::UTC).toSecsSinceEpoch());
    return DateTime(date.year(), date.month(), date.day(), time.hour(), time.minute(),
                    time.second());
}

VideoDateSource ChosenVideoDateSource(const Settings &settings) {
    return settings.value(QStringLiteral("Options"), QStringLiteral("VideoRecordedDate")) ==
                   QStringLiteral("1")
               ? VideoDateSource::Recorded
               : VideoDateSource::FileModified;
}

void RememberVideoDateSource(Settings &settings, VideoDateSource source) {
    settings.setValue(QStringLiteral("Options"), QStringLiteral("VideoRecordedDate"),
                      source == VideoDateSource::Recorded ? QStringLiteral("1")
                                                          : QStringLiteral("0"));
}

QString VideoFallbackNote() {
    return QStringLiteral("视频未记录拍摄时间，用文件修改时间");
}

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
    return ReadVideoDate(path, VideoDateSource::FileModified).text;
}

QString VideoLibraryError() {
    return mediaInfo().error;
}

VideoDate ReadVideoDate(const QString &path, VideoDateSource source) {
    // MediaInfo reports a file it cannot open as an empty report; a missing file is no video.
    if (path.isEmpty() || path.contains(QChar(u'\0')))
        return {};
    const int fd = OpenToRead(path, O_NONBLOCK);
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
    const MediaInfoCalls &mi = mediaInfo();
    if (!mi.error.isEmpty())
        return {};
    void *handle = mi.create();
    if (!handle)
        return {};
    mi.open(handle, file.c_str());
    mi.option(handle, L"Complete", L"1");
    const QString report = StringFromWidePointer(mi.inform(handle, 0));
    VideoDate result;
    if (source == VideoDateSource::Recorded) {
        for (const wchar_t *field : RecordedFields) {
            const std::optional<DateTime> date = ContainerDateToLocal(
                StringFromWidePointer(mi.get(handle, MediaInfo_Stream_General, 0, field,
                                             MediaInfo_Info_Text, MediaInfo_Info_Name)));
            if (date) {
                result.text = date->toText();
                result.recorded = true;
                break;
            }
        }
    }
    mi.close(handle);
    mi.destroy(handle);
    if (!result.recorded)
        result.text = ExtractVideoDate(report);
    return result;
}

} // namespace kalmora
