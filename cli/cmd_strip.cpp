// kalmora-cli strip: all metadata removed from the photos by exiftool, the originals kept.
#include "cli/commands.h"
#include "cli/common.h"
#include "cli/output.h"
#include "core/base/path_bytes.h"
#include "core/batch/content_step.h"
#include "core/exif/read_exif.h"
#include "core/platform/app_values.h"
#include "core/platform/environment.h"

namespace kalmora::cli {

namespace {
// How long exiftool may take over one photo, as in the window.
constexpr int PhotoTimeLimitMs = 30000;
} // namespace

int StripCommand(const Invocation &inv) {
    int status = AllDone;
    const std::optional<QStringList> names = ListFiles(inv, status, true);
    if (!names)
        return status;
    QString program;
    if (!DryRunAsked(inv)) {
        ProcessEnvironment environment;
        program = LocateExifTool(environment.variable(QStringLiteral("PATH")),
                                 ComputeAppValues(environment).WorkFolder);
        if (program.isEmpty()) {
            Message(Say("找不到 exiftool。请用系统的软件包管理器安装（例如 sudo apt install "
                        "libimage-exiftool-perl）。",
                        "exiftool was not found. Install it with the system's package manager "
                        "(for example sudo apt install libimage-exiftool-perl)."));
            return SomeFailed;
        }
    }
    const bool unkept = inv.flags.contains(QStringLiteral("no-undo-for-large"));
    // The window asks about a photo whose original would need too large a copy; a script has
    // said beforehand, or nothing is erased.
    const auto withoutUndo = [unkept](const QString &path, qint64 limitBytes) {
        const QString why = Say("照片“%1”不在撤销记录所在的磁盘上，保留它的原件需要复制，"
                                "超过了复制上限(%2 MB)。",
                                "Keeping the original of %1 needs a copy (it is not on the "
                                "journal's disk) larger than the copy limit (%2 MB).")
                                .arg(DisplayName(path))
                                .arg(limitBytes >> 20);
        if (!unkept) {
            Message(why + u'\n' +
                    Say("本次抹除没有开始，没有改动任何照片；加上 --no-undo-for-large "
                        "可不保留原件而抹除这样的照片（不能撤销）。",
                        "Nothing was erased. With --no-undo-for-large such photos are erased "
                        "without their originals (no undo for them)."));
            return false;
        }
        Message(why + u' ' + Say("它将被抹除，但不能撤销。", "It is erased without undo."));
        return true;
    };
    // The import's reading: a photo without Exif is left alone, as the window leaves it.
    ContentStep step(
        *names, AbsoluteFolder(inv.folder),
        [&](int i) {
            return !ShootingDateCell(PathOf(inv, names->at(i)), true).value_or(QString()).isEmpty();
        },
        withoutUndo,
        [&program] { return std::make_unique<ExifToolProcess>(program, PhotoTimeLimitMs); });
    return RunBatch(inv, step);
}

} // namespace kalmora::cli
