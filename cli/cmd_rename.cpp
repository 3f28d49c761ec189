// kalmora-cli rename: files renamed after their shooting (recorded) date.
#include "cli/commands.h"
#include "cli/common.h"
#include "cli/output.h"
#include "core/batch/rename_step.h"
#include "core/exif/read_exif.h"
#include "core/filetime/rename_rules.h"
#include "core/filetime/video_date.h"

namespace kalmora::cli {

int RenameCommand(const Invocation &inv) {
    const bool video = inv.flags.contains(QStringLiteral("video"));
    int status = AllDone;
    const std::optional<QStringList> names =
        ListFiles(inv, status, !video, video ? DefaultVideoPattern() : DefaultPicturePattern());
    if (!names)
        return status;
    if (video && !VideosReadable())
        return SomeFailed;
    // Every new name is worked out before the first file is renamed; the journal writes each
    // intent meanwhile.
    RenameStep step(*names, [&](int i) {
        const QString name = names->at(i), path = PathOf(inv, name);
        const QString date =
            video ? ReadVideoDate(path) : ShootingDateCell(path, false).value_or(QString());
        return RenameTargetName(name, date, video);
    });
    return RunBatch(inv, step);
}

} // namespace kalmora::cli
