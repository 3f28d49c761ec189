// kalmora-cli stamps-from-date: each file's own shooting (recorded) date as its file times.
#include "cli/commands.h"
#include "cli/common.h"
#include "cli/output.h"
#include "core/batch/stamps_from_date.h"
#include "core/exif/read_exif.h"
#include "core/filetime/video_date.h"

namespace kalmora::cli {

int StampsFromDateCommand(const Invocation &inv) {
    const std::optional<StampChoice> stamps =
        ReadStamps(inv.value(QStringLiteral("stamps"), QStringLiteral("m")));
    if (!stamps)
        return UsageError(inv, StampsUsageText());
    const std::optional<qint64> shift =
        ParseDateShift(inv.value(QStringLiteral("shift"), QStringLiteral("0s")));
    if (!shift)
        return UsageError(inv,
                          Say("--shift 的格式为 ±[N天d][N时h][N分m][N秒s]，例如 +8h、-1d2h30m："
                              "%1",
                              "--shift takes ±[Nd][Nh][Nm][Ns], e.g. +8h or -1d2h30m: %1")
                              .arg(inv.value(QStringLiteral("shift"))));
    const bool video = inv.flags.contains(QStringLiteral("video"));
    int status = AllDone;
    const std::optional<QStringList> names =
        ListFiles(inv, status, !video, video ? DefaultVideoPattern() : ExifPhotoPattern());
    if (!names)
        return status;
    if (video && !VideosReadable())
        return SomeFailed;
    const DateStampsChoice choice{stamps->creation, stamps->modification, stamps->access, *shift};
    // The import's reading of each date: the byte-level reader where it can tell, else the full
    // read; a video's date only where its container records one.
    const auto dateOf = [&](int i) {
        const QString path = PathOf(inv, names->at(i));
        if (video) {
            const VideoDate date = ReadVideoDate(path, VideoDateSource::Recorded);
            return VideoInsideDate(date.text, date.recorded);
        }
        const std::optional<QString> quick = QuickShootingDateCellText(path);
        return PhotoInsideDate(quick ? *quick : ShootingDateCell(path, true).value_or(QString()));
    };
    const std::unique_ptr<StampsStep> step = MakeStampsFromDateStep(*names, dateOf, choice);
    bool refusedForDrive = false;
    FitStampsToDrive(inv, *step, refusedForDrive);
    const int result = RunBatch(inv, *step);
    return refusedForDrive ? int(SomeFailed) : result;
}

} // namespace kalmora::cli
