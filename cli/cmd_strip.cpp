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
    // Originals beyond the limit of kept originals: a script has said beforehand whether to
    // keep them all or to erase those photos without undo, or nothing is erased.
    const bool keepAll = inv.flags.contains(QStringLiteral("keep-all"));
    const auto beyondLimit = [&](qint64 limitBytes) {
        if (keepAll)
            return ContentStep::BeyondLimit::KeepAll;
        const QString why = Say("为撤销保留的原件将超过保留上限(%1 MB)。",
                                "The originals kept for the undo would pass their limit "
                                "(%1 MB).")
                                .arg(limitBytes >> 20);
        if (unkept) {
            Message(why + u' ' +
                    Say("超出上限的照片照样抹除，但不能撤销。",
                        "The photos beyond it are erased without undo."));
            return ContentStep::BeyondLimit::EraseWithoutUndo;
        }
        Message(why + u'\n' +
                Say("本次抹除没有开始，没有改动任何照片；加上 --keep-all 仍然保留全部原件，或加上 "
                    "--no-undo-for-large 不保留超出上限的原件而抹除（不能撤销）。",
                    "Nothing was erased. With --keep-all every original is kept all the same; "
                    "with --no-undo-for-large the photos beyond the limit are erased without "
                    "their originals (no undo for them)."));
        return ContentStep::BeyondLimit::Cancel;
    };
    // The import's reading: a photo without Exif is left alone, as the window leaves it.
    ContentStep step(
        *names, AbsoluteFolder(inv.folder),
        [&](int i) {
            return !ShootingDateCell(PathOf(inv, names->at(i)), true).value_or(QString()).isEmpty();
        },
        withoutUndo,
        [&program] { return std::make_unique<ExifToolProcess>(program, PhotoTimeLimitMs); });
    step.askBeyondLimit = beyondLimit;
    return RunBatch(inv, step);
}

} // namespace kalmora::cli
