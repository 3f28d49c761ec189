// The table of kalmora-cli's commands: names, help and options. Each command runs the routines
// the window runs, in the window's order, so that a folder comes out the same whichever of the
// two did the work; each lives in its own file (cmd_*.cpp).
#include "cli/commands.h"

#include "cli/history.h"
#include "cli/plan_options.h"

namespace kalmora::cli {

namespace {

QList<OptionSpec> withCommon(QList<OptionSpec> options, bool writes) {
    options.append({QStringLiteral("pattern"), true});
    options.append({QStringLiteral("json"), false});
    if (writes)
        options.append({QStringLiteral("dry-run"), false});
    return options;
}

const QString CommonOptions =
    QStringLiteral("  --pattern PATTERNS     file types, ';'-separated wildcards; default\n"
                   "                         \"*.jpeg;*.jpe;*.jpg;*.bmp;*.gif;*.tif;*.tiff\"\n"
                   "  --json                 JSON Lines instead of tab-separated lines\n");
// The options of the two exports.
QList<OptionSpec> exportOptionSpecs() {
    return {{QStringLiteral("o"), true},
            {QStringLiteral("utf8"), false},
            {QStringLiteral("pattern"), true}};
}
const QString ExportOptions =
    QStringLiteral("  -o FILE                write to FILE (default standard output)\n"
                   "  --utf8                 UTF-8 instead of GB18030\n"
                   "  --pattern PATTERNS     file types, as for the other commands\n");

const QString DryRunOption =
    QStringLiteral("  --dry-run              print what would be done; change nothing, record\n"
                   "                         nothing in the journal\n");

} // namespace

const QList<Command> &Commands() {
    static const QList<Command> commands = {
        {QStringLiteral("plan"), QStringLiteral("print the planned time of every file"),
         QStringLiteral("Usage: kalmora-cli plan [options] FOLDER\n\n"
                        "Prints the time the window's plan gives each file, in the window's\n"
                        "order. Lines: path, \"planned\", time.\n\nOptions:\n") +
             WindowOptions + CommonOptions,
         withCommon(WindowOptionSpecs(), false), true, PlanCommand},
        {QStringLiteral("apply"), QStringLiteral("write the planned times as the files' stamps"),
         QStringLiteral(
             "Usage: kalmora-cli apply [options] FOLDER\n\n"
             "Writes each file's planned time into the chosen stamps; the others keep the\n"
             "values read before (whole seconds). Lines: path, result (ok, failed, dry-run),\n"
             "creation, modification, access as read back, and the window's row text.\n"
             "Where the drive cannot hold a planned time as it is (odd seconds on FAT, a year\n"
             "outside what it keeps), nothing is written and the exit status is 1, unless\n"
             "--round is given: the times are then written as the drive holds them.\n\n"
             "Options:\n") +
             WindowOptions +
             QStringLiteral(
                 "  --round                write times the drive cannot hold as it holds them\n") +
             CommonOptions + DryRunOption,
         withCommon(WindowOptionSpecs() + QList<OptionSpec>{{QStringLiteral("round"), false}},
                    true),
         true, ApplyCommand},
        {QStringLiteral("shift-date"), QStringLiteral("rewrite the photos' shooting dates"),
         QStringLiteral(
             "Usage: kalmora-cli shift-date (--by SHIFT | --random SHIFT | --new-start DATE)\n"
             "                             [options] FOLDER\n\n"
             "Rewrites the original shooting date inside each JPEG photo, in place.\n"
             "Units: y years, mo months, d days, h hours, mi minutes, s seconds.\n"
             "Lines: path, result, new date, original date, the window's row text.\n\n"
             "Options:\n"
             "  --by ±[Ny][Nmo][Nd][Nh][Nmi][Ns]\n"
             "                         move each date by a fixed amount, e.g. -1d or +2h30mi\n"
             "  --random ±A-BUNIT      move each date by a random amount from A up to, not\n"
             "                         including, B, as the window's dialog: e.g. -1-10d\n"
             "  --new-start DATE       the first photo gets DATE (yyyy-mm-dd hh:mm:ss), each\n"
             "                         next one DATE plus one more --increment\n"
             "  --increment NUNIT      default 10s\n"
             "  --video                videos (MP4, MOV, M4V, 3GP): move the dates their\n"
             "                         QuickTime headers record, in place (with --by or\n"
             "                         --random); default pattern the window's video types\n") +
             CommonOptions + DryRunOption,
         withCommon({{QStringLiteral("by"), true},
                     {QStringLiteral("random"), true},
                     {QStringLiteral("new-start"), true},
                     {QStringLiteral("increment"), true},
                     {QStringLiteral("video"), false}},
                    true),
         true, ShiftDateCommand},
        {QStringLiteral("rename"), QStringLiteral("rename files after their shooting date"),
         QStringLiteral("Usage: kalmora-cli rename [options] FOLDER\n\n"
                        "Renames each photo to \"yyyy-mm-dd hh.mm.ss\" and its own extension, "
                        "from its\nshooting date; never replaces a file. Lines: path, result, "
                        "new name, the\nwindow's row text.\n\nOptions:\n"
                        "  --video                videos, after their recorded date\n") +
             CommonOptions + DryRunOption,
         withCommon({{QStringLiteral("video"), false}}, true), true, RenameCommand},
        {QStringLiteral("stamps-from-date"),
         QStringLiteral("set the file times from the date inside the files"),
         QStringLiteral(
             "Usage: kalmora-cli stamps-from-date [options] FOLDER\n\n"
             "Writes each photo's shooting date (with --video, each video's recorded date),\n"
             "as local time, into the chosen file times; the files' contents are not touched.\n"
             "A photo without a shooting date, or a video whose container records none, is\n"
             "skipped. Lines: path, result (ok, failed, skipped, dry-run), creation,\n"
             "modification, access as read back, and the window's row text. A drive that\n"
             "cannot hold a time as it is: as for apply (--round).\n\n"
             "Options:\n"
             "  --stamps c,m,a         the times that take the date: creation,\n"
             "                         modification, access; default m\n"
             "  --shift ±[Nd][Nh][Nm][Ns]\n"
             "                         add this to each date first (a camera clock set\n"
             "                         wrong), e.g. +8h or -1d2h30m\n"
             "  --video                videos, after the date their container records;\n"
             "                         default pattern the window's video types\n"
             "  --round                write times the drive cannot hold as it holds them\n"
             "  --pattern PATTERNS     file types, ';'-separated wildcards; default\n"
             "                         \"*.jpg;*.jpeg;*.jpe;*.tiff;*.tif\"\n"
             "  --json                 JSON Lines instead of tab-separated lines\n") +
             DryRunOption,
         withCommon({{QStringLiteral("stamps"), true},
                     {QStringLiteral("shift"), true},
                     {QStringLiteral("video"), false},
                     {QStringLiteral("round"), false}},
                    true),
         true, StampsFromDateCommand},
        {QStringLiteral("export-times"), QStringLiteral("export the files' time stamps as text"),
         QStringLiteral("Usage: kalmora-cli export-times [options] FOLDER\n\n"
                        "The window's time-list export: a header, then one tab-separated line "
                        "per file.\n"
                        "\nOptions:\n") +
             ExportOptions,
         exportOptionSpecs(), true, ExportTimesCommand},
        {QStringLiteral("export-exif"), QStringLiteral("export every Exif field of the photos"),
         QStringLiteral("Usage: kalmora-cli export-exif [options] FOLDER\n\n"
                        "The window's Exif export: per photo an empty line, its name line and "
                        "its\nfields with the window's Chinese labels.\n"
                        "\nOptions:\n") +
             ExportOptions,
         exportOptionSpecs(), true, ExportExifCommand},
        {QStringLiteral("strip"), QStringLiteral("remove all metadata from the photos (exiftool)"),
         QStringLiteral(
             "Usage: kalmora-cli strip [options] FOLDER\n\n"
             "Strips all metadata from each photo through one running exiftool; "
             "photos\nwithout Exif are skipped. Lines: path, result (ok, failed, "
             "skipped, dry-run),\nthe window's row text.\n\n"
             "The original of each photo is kept for the undo: a hard link beside the\n"
             "journal, or a copy when the photo is on another disk. A copy larger than\n"
             "the copy limit (setting Journal/CopyLimitMB, default 100), and originals\n"
             "that together would pass the limit of kept originals (Journal/KeepOriginalsMB,\n"
             "default 2048), stop the whole batch before anything changes (exit status 3),\n"
             "unless:\n\nOptions:\n"
             "  --no-undo-for-large    erase such photos without keeping them (no undo\n"
             "                         for those photos)\n"
             "  --keep-all             keep every original, beyond the limit too (older\n"
             "                         batches' originals may be removed for it)\n") +
             CommonOptions + DryRunOption,
         withCommon(
             {{QStringLiteral("no-undo-for-large"), false}, {QStringLiteral("keep-all"), false}},
             true),
         true, StripCommand},
        {QStringLiteral("history"),
         QStringLiteral("list the batches that can be undone"),
         QStringLiteral("Usage: kalmora-cli history [--json]\n\n"
                        "Lists the batches of the journal, newest first. Lines: batch number,\n"
                        "start (yyyy-mm-dd hh:mm:ss), operation, state (finished, interrupted,\n"
                        "running, undone), files done, failed, in all, folder, and what its\n"
                        "undo can no longer put back: empty, originals-pruned (the originals\n"
                        "kept before an erase were removed to stay within their limit), or\n"
                        "erased-without-original:N (photos erased without keeping them).\n\n"
                        "Options:\n"
                        "  --json                 one JSON object per line\n"),
         {{QStringLiteral("json"), false}},
         false,
         HistoryCommand},
        {QStringLiteral("undo"),
         QStringLiteral("put the files of a batch back as they were"),
         QStringLiteral(
             "Usage: kalmora-cli undo [--json] [--dry-run] [BATCH]\n\n"
             "Puts every file of BATCH (default: the newest batch of files no undo took yet)\n"
             "back as it was before, where the file still holds exactly what the batch left;\n"
             "any other file is skipped with the reason. The undo is itself a batch, so it\n"
             "can be undone. Lines: path, result (restored, unchanged, skipped, failed),\n"
             "reason.\n\n"
             "Options:\n"
             "  --json                 one JSON object per line\n"
             "  --dry-run              judge every file as the undo would and print the\n"
             "                         verdicts (dry-run for a file it would restore); change\n"
             "                         nothing, record nothing\n"),
         {{QStringLiteral("json"), false}, {QStringLiteral("dry-run"), false}},
         false,
         UndoCommand,
         true},
    };
    return commands;
}

} // namespace kalmora::cli
