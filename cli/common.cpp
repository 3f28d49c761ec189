#include "cli/common.h"

#include "cli/history.h"
#include "cli/output.h"
#include "core/base/path_bytes.h"
#include "core/batch/stamps_step.h"
#include "core/exif/image_metadata.h"
#include "core/exif/read_exif.h"
#include "core/filetime/video_date.h"
#include "core/import/file_list.h"

#include <QDir>

#include <cerrno>
#include <climits>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace kalmora::cli {

int UsageError(const Invocation &inv, const QString &text) {
    Message(QStringLiteral("kalmora-cli %1: ").arg(inv.command) + text);
    return Usage;
}

QString PathOf(const Invocation &inv, const QString &name) {
    return inv.folder + QLatin1Char('/') + name;
}

QString AbsoluteFolder(const QString &folder) {
    if (folder.startsWith(QLatin1Char('/')))
        return QDir::cleanPath(folder);
    char buffer[PATH_MAX];
    if (!::getcwd(buffer, sizeof buffer))
        return folder;
    return QDir::cleanPath(NameFromBytes(QByteArray(buffer)) + QLatin1Char('/') + folder);
}

std::optional<QStringList> ListFiles(const Invocation &inv, int &status, bool photos,
                                     const QString &pattern) {
    const auto unreadable = [&](int error) {
        const QString why = ChineseMessages() ? FolderErrorText(error)
                                              : QString::fromLocal8Bit(std::strerror(error));
        status = UsageError(
            inv,
            Say("无法读取文件夹 %1：%2", "Cannot read the folder %1: %2").arg(inv.folder, why));
        return std::nullopt;
    };
    struct stat st {};
    if (stat(PathBytes(inv.folder).constData(), &st) != 0 && errno != ENOENT && errno != ENOTDIR)
        return unreadable(errno);
    if (!S_ISDIR(st.st_mode)) {
        status = UsageError(inv, Say("找不到文件夹：%1", "No such folder: %1").arg(inv.folder));
        return std::nullopt;
    }
    // The pattern before the folder: each of the two reads the folder once it has one.
    FileList list;
    list.setPattern(inv.value(QStringLiteral("pattern"), pattern));
    list.setPath(inv.folder);
    if (const int error = list.listError())
        return unreadable(error);
    if (list.count() == 0) {
        Message(
            Say("该文件夹下指定类型的文件数为0！", "No file in the folder matches the pattern."));
        status = SomeFailed;
        return std::nullopt;
    }
    if (photos && !ImageMetadata::libraryAvailable()) {
        Message(
            Say("GDI+ 初始化失败，本功能暂无法使用。.", "The photo library cannot be started."));
        status = SomeFailed;
        return std::nullopt;
    }
    return list.names();
}

bool VideosReadable() {
    if (VideoLibraryError().isEmpty())
        return true;
    Message(ChineseMessages() ? VideoLibraryError()
                              : QStringLiteral("Videos cannot be read: %1 could not be "
                                               "loaded. Install the package libmediainfo0v5.")
                                    .arg(QStringLiteral("libmediainfo.so.0")));
    return false;
}

void FitStampsToDrive(const Invocation &inv, StampsStep &step, bool &refused) {
    step.fitToDrive(DriveStamps::of(inv.folder), [&inv, &refused](const QString &drive) {
        const QString which = ChineseMessages()
                                  ? (drive.isEmpty() ? QStringLiteral("该磁盘")
                                                     : QStringLiteral("该磁盘（%1）").arg(drive))
                                  : (drive.isEmpty() ? QStringLiteral("this drive")
                                                     : QStringLiteral("the %1 drive").arg(drive));
        if (inv.flags.contains(QStringLiteral("round"))) {
            Message(Say("部分计划时间超出%1能保存的精度或年份，已按磁盘能保存的时间写入。",
                        "Some planned times are beyond what %1 holds (its steps or years): they "
                        "are written as the drive holds them.")
                        .arg(which));
            return true;
        }
        Message(Say("部分计划时间超出%1能保存的精度或年份，没有改动任何文件；加 --round "
                    "则按磁盘能保存的时间写入。",
                    "Some planned times are beyond what %1 holds (its steps or years): nothing "
                    "was changed. Give --round to write them as the drive holds them.")
                    .arg(which));
        refused = true;
        return false;
    });
}

bool DryRunAsked(const Invocation &inv) {
    return inv.flags.contains(QStringLiteral("dry-run"));
}

std::optional<StampChoice> ReadStamps(const QString &text) {
    StampChoice c{false, false, false};
    for (const QString &part : text.split(QLatin1Char(','))) {
        const QString p = part.trimmed();
        if (p == QLatin1String("c"))
            c.creation = true;
        else if (p == QLatin1String("m"))
            c.modification = true;
        else if (p == QLatin1String("a"))
            c.access = true;
        else
            return std::nullopt;
    }
    return c;
}

QString StampsUsageText() {
    return Say("--stamps 取 c、m、a 中的一个或几个，以逗号分隔。",
               "--stamps takes one or more of c,m,a.");
}

namespace {

// The rows as lines on standard output, the bar on standard error.
class LineSink final : public BatchSink {
public:
    LineSink(const Invocation &inv, const BatchStep &step)
        : m_inv(inv), m_step(step), m_results(inv.flags.contains(QStringLiteral("json"))),
          m_progress(step.count()) {}

    void row(const BatchRow &row) override {
        m_results.add(PathOf(m_inv, m_step.name(row.index)), word(row.verdict), row.values);
        // Nobody reads the results any more: the batch ends after the file in hand.
        if (OutputError() != 0 && stop)
            stop();
    }
    std::function<void()> stop;
    void progress(int done, int) override { m_progress.step(done); }
    void journalFailed(bool started, const QString &reason) override {
        Message(started ? JournalStopMessage(reason) : JournalFailureMessage(reason));
    }
    void journalBusy(bool waiting) override {
        if (waiting)
            Message(Say("另一批操作正在写撤销记录，等待它写完（最多10分钟）…",
                        "Another batch is writing the undo journal; waiting for it (at most 10 "
                        "minutes)..."));
    }
    int exitStatus() const { return m_results.exitStatus(); }

private:
    static QString word(RowVerdict verdict) {
        switch (verdict) {
        case RowVerdict::Done:
            return QStringLiteral("ok");
        case RowVerdict::Failed:
            return QStringLiteral("failed");
        case RowVerdict::Skipped:
        case RowVerdict::NotDone:
            return QStringLiteral("skipped");
        case RowVerdict::DryRun:
            return QStringLiteral("dry-run");
        }
        return {};
    }

    const Invocation &m_inv;
    const BatchStep &m_step;
    Results m_results;
    Progress m_progress;
};

} // namespace

int RunBatch(const Invocation &inv, BatchStep &step) {
    BatchOptions options;
    options.folder = inv.folder;
    options.journalFolder = AbsoluteFolder(inv.folder);
    options.dryRun = DryRunAsked(inv);
    if (!options.dryRun)
        options.journal = CliJournalConfig();
    // Long enough for another batch's prune; a script is not kept waiting for ever.
    options.journalWaitMs = 10 * 60 * 1000;
    LineSink sink(inv, step);
    BatchRunner runner(step, sink, options);
    sink.stop = [&runner] { runner.requestStop(); };
    const BatchOutcome outcome = runner.run();
    // Not started: the journal could not record the batch (or keep an original), and no file
    // changed; failed during it: the files after it were left as they were.
    if (outcome.end == BatchOutcome::End::NotStarted ||
        outcome.end == BatchOutcome::End::JournalFailed)
        return NotJournaled;
    return sink.exitStatus();
}

} // namespace kalmora::cli
