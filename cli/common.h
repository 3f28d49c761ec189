#pragma once

// What the commands share: their folder and its files, usage errors, and a batch run through
// the engine with its rows printed as lines.

#include "cli/cli.h"
#include "core/batch/batch.h"
#include "core/batch/stamps_step.h"
#include "core/import/file_list.h"

#include <QStringList>

#include <optional>

namespace kalmora::cli {

int UsageError(const Invocation &inv, const QString &text);
// A file of the command's folder as the lines name it.
QString PathOf(const Invocation &inv, const QString &name);
// The folder as the journal keeps it: absolute, so that an undo run from anywhere finds the
// files. Bytes of the working folder that are not UTF-8 keep their names.
QString AbsoluteFolder(const QString &folder);
// The folder's files in the window's order and with its pattern rules; no value (and the exit
// status in `status`) when there is nothing to work on.
// `photos`: the command reads photos, and the photo library must start (told when not).
// `pattern`: the types listed when --pattern is not given.
std::optional<QStringList> ListFiles(const Invocation &inv, int &status, bool photos = false,
                                     const QString &pattern = DefaultPicturePattern());
// Whether videos can be read; told when not.
bool VideosReadable();
bool DryRunAsked(const Invocation &inv);

// --stamps c,m,a: the stamps that take the planned time.
struct StampChoice {
    bool creation = true, modification = true, access = true;
};
std::optional<StampChoice> ReadStamps(const QString &text);
QString StampsUsageText();

// Stamps are written as the drive holds them only with --round: without it, the first stamp
// the drive would change refuses the batch (told once) and sets `refused`.
void FitStampsToDrive(const Invocation &inv, StampsStep &step, bool &refused);

// Runs the batch over the command's folder, one line per file, and returns the exit status.
// The journal records it unless it is a dry run.
int RunBatch(const Invocation &inv, BatchStep &step);

} // namespace kalmora::cli
