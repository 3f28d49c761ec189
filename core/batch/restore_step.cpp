#include "core/batch/restore_step.h"

#include "core/base/folder_handle.h"
#include "core/base/path_bytes.h"
#include "core/base/write_protection.h"
#include "core/batch/batch.h"
#include "core/filetime/rename_rules.h"
#include "core/journal/kept_originals.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace kalmora {

namespace {

const QString Gone = QStringLiteral("文件已不存在(已被移动或删除)");
const QString ChangedSince = QStringLiteral("文件在这批操作之后又被改动过");
const QString Neither = QStringLiteral("文件既不是操作前的样子，也不是这批操作写成的样子");
const QString ReadOnly = QStringLiteral("文件已标为只读");
const QString NameTaken = QStringLiteral("原文件名已被另一个文件占用");
const QString NoOriginal = QStringLiteral("原件没有保留(超过保留上限或已被清理)");
const QString Unreadable = QStringLiteral("撤销记录中这一项无法读取");
const QString Outside =
    QStringLiteral("撤销记录中这一项不在这批操作的文件夹中(记录可能已被改动)，没有还原");

enum class Verdict { Restore, Unchanged, Skip };

struct Plan {
    JournalEntry entry;
    Verdict verdict = Verdict::Skip;
    QString reason;
    QList<QByteArray> bytesNow; // date patches: what the file holds at each offset
    QString shown;              // where the file is, as the report names it
    int seq = 0;                // the restore's own entry
};

QString systemText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

QByteArray readAt(const QString &path, qint64 offset, qsizetype length) {
    QFile file;
    if (!OpenUntouched(file, path) || !file.seek(offset))
        return {};
    return file.read(length);
}

bool sameFile(const FileState &a, const FileState &b) {
    return a.exists && b.exists && a.device == b.device && a.inode == b.inode;
}

bool readOnly(const QString &path) {
    struct stat st {};
    return ::lstat(PathBytes(path).constData(), &st) == 0 && MarkedReadOnly(st.st_uid, st.st_mode);
}

Plan skip(Plan p, const QString &why) {
    p.verdict = Verdict::Skip;
    p.reason = why;
    return p;
}

// Whether `path` names a file right in `folder` (as every batch's files are).
bool directlyIn(const QString &path, const QString &folder) {
    if (folder.isEmpty() || !path.startsWith(folder + QLatin1Char('/')))
        return false;
    const QString name = path.mid(folder.size() + 1);
    return !name.isEmpty() && !name.contains(QLatin1Char('/')) && name != QLatin1String(".") &&
           name != QLatin1String("..");
}

// Whether every path of the entry lies where its batch worked and kept its originals: a row
// changed in the database must not make the undo write anywhere else.
bool withinBatch(const JournalEntry &e, const QString &folder, const QString &keptFolder) {
    if (!directlyIn(e.path, folder))
        return false;
    if (e.kind == ChangeKind::Rename && !directlyIn(e.newPath, folder))
        return false;
    return e.kind != ChangeKind::Content || e.kept.isEmpty() || directlyIn(e.kept, keptFolder);
}

Plan judge(const JournalEntry &e) {
    Plan p;
    p.entry = e;
    p.verdict = Verdict::Unchanged;
    p.shown = e.path;
    if (!e.old.exists)
        return p; // nothing was there for the batch to change
    switch (e.kind) {
    case ChangeKind::Stamps: {
        const FileState now = ReadFileState(e.path);
        if (!now.exists)
            return skip(p, Gone);
        if (e.after) {
            if (!now.sameAs(*e.after))
                return skip(p, ChangedSince);
            if (e.after->sameAs(e.old) && e.after->access == e.old.access)
                return p;
        } else if (now.sameAs(e.old) && now.access == e.old.access) {
            return p;
        } else if (!now.sameAs(e.old) && !(e.intendedKnown && now.sameAs(e.intended))) {
            return skip(p, Neither);
        }
        break;
    }
    case ChangeKind::Rename: {
        const FileState atNew = ReadFileState(e.newPath);
        const FileState atOld = ReadFileState(e.path);
        // Not under its new name: the rename failed (the name taken, or already its own), was
        // cut off before it, or the file has moved on since.
        if (e.state == EntryFailed || e.newPath == e.path || !sameFile(atNew, e.old))
            return sameFile(atOld, e.old) ? p : skip(p, Gone);
        p.shown = e.newPath;
        if (e.after && !atNew.sameAs(*e.after))
            return skip(p, ChangedSince);
        if (atOld.exists)
            return skip(p, NameTaken);
        p.verdict = readOnly(e.newPath) ? Verdict::Skip : Verdict::Restore;
        p.reason = p.verdict == Verdict::Skip ? ReadOnly : QString();
        return p;
    }
    case ChangeKind::DatePatch: {
        const FileState now = ReadFileState(e.path);
        if (!now.exists)
            return skip(p, Gone);
        if (!sameFile(now, e.old) || now.size != e.old.size)
            return skip(p, e.after ? ChangedSince : Neither);
        bool allBefore = true, eachKnown = true, asLeft = true;
        for (int i = 0; i < e.patches.size(); ++i) {
            const BytePatch &patch = e.patches[i];
            p.bytesNow.append(readAt(e.path, patch.offset, patch.before.size()));
            allBefore = allBefore && p.bytesNow[i] == patch.before;
            eachKnown =
                eachKnown && (p.bytesNow[i] == patch.before || p.bytesNow[i] == patch.intended);
            asLeft = asLeft && p.bytesNow[i] == e.patchAfter.value(i);
        }
        if (e.after) {
            if (!now.sameAs(*e.after) || !asLeft)
                return skip(p, ChangedSince);
        } else if (!eachKnown) {
            return skip(p, Neither);
        }
        if (allBefore && now.sameAs(e.old) && now.access == e.old.access)
            return p;
        break;
    }
    case ChangeKind::Content: {
        const FileState now = ReadFileState(e.path, true);
        if (e.after) {
            if (!now.exists)
                return skip(p, Gone);
            if (!now.sameAs(*e.after) || now.hash != e.after->hash)
                return skip(p, ChangedSince);
            if (sameFile(now, e.old) && now.hash == e.old.hash &&
                now.modification == e.old.modification)
                return p;
        } else {
            if (now.sameAs(e.old) && now.hash == e.old.hash)
                return p;
            if (!now.exists)
                return skip(p, Gone);
            // Only a replacement is what the erase does (a new file under the name); a change
            // of the file itself is someone else's.
            if (sameFile(now, e.old))
                return skip(p, Neither);
        }
        const FileState kept = ReadFileState(e.kept, true);
        if (e.kept.isEmpty() || !kept.exists || kept.hash != e.old.hash)
            return skip(p, NoOriginal);
        break;
    }
    }
    if (readOnly(e.path))
        return skip(p, ReadOnly);
    p.verdict = Verdict::Restore;
    return p;
}

int intend(BatchJournal &journal, const Plan &p) {
    const JournalEntry &e = p.entry;
    switch (e.kind) {
    case ChangeKind::Stamps:
        return journal.intendStampsExact(e.path, e.old);
    case ChangeKind::Rename:
        return journal.intendRename(e.newPath, e.path);
    case ChangeKind::DatePatch: {
        QList<BytePatch> back;
        for (int i = 0; i < e.patches.size(); ++i)
            back.append({e.patches[i].offset, p.bytesNow[i], e.patches[i].before});
        return journal.intendBytes(e.path, back, e.old);
    }
    case ChangeKind::Content:
        return journal.intendContent(e.path, true);
    }
    return 0;
}

// Where a file the restore takes is, as the report names it.
QString shownOf(const JournalEntry &e) {
    return e.kind == ChangeKind::Rename ? e.newPath : e.path;
}

// Empty when the file is back as it was.
QString putBack(const JournalEntry &e) {
    switch (e.kind) {
    case ChangeKind::Stamps:
        return WriteStamps(e.path, e.old);
    case ChangeKind::Rename:
        switch (RenameNoReplace(e.newPath, e.path)) {
        case RenameError::None:
            return {};
        case RenameError::Exists:
            return NameTaken;
        default:
            return QStringLiteral("无法更名");
        }
    case ChangeKind::DatePatch: {
        // In place, as the rewrite wrote it: the file keeps its identity.
        const int fd = OpenAt(e.path, O_WRONLY | O_NOFOLLOW);
        if (fd < 0)
            return systemText(errno);
        QString why;
        for (const BytePatch &patch : e.patches) {
            if (::pwrite(fd, patch.before.constData(), size_t(patch.before.size()),
                         off_t(patch.offset)) != ssize_t(patch.before.size())) {
                why = systemText(errno ? errno : EIO);
                break;
            }
        }
        if (why.isEmpty() && ::fsync(fd) != 0)
            why = systemText(errno);
        ::close(fd);
        return why.isEmpty() ? WriteStamps(e.path, e.old) : why;
    }
    case ChangeKind::Content: {
        const QByteArray from = PathBytes(e.kept);
        const auto to = FileAt::of(e.path);
        if (!to)
            return systemText(ENOENT);
        if (::renameat(AT_FDCWD, from.constData(), to->dir, to->name.constData()) != 0) {
            if (errno != EXDEV)
                return systemText(errno);
            // A copy kept on another file system: copied beside the file, then put in its place.
            const QString temporary = e.path + QStringLiteral(".kalmora-restore");
            QFile::remove(temporary);
            if (!QFile::copy(e.kept, temporary))
                return QStringLiteral("无法复制原件");
            const auto copied = FileAt::of(temporary);
            if (!copied || ::renameat(copied->dir, copied->name.constData(), to->dir,
                                      to->name.constData()) != 0) {
                const int error = errno;
                QFile::remove(temporary);
                return systemText(error);
            }
        }
        // The kept original was made the journal's alone (or is a private copy): the file gets
        // its own permissions back.
        if (e.old.mode != 0 &&
            ::fchmodat(to->dir, to->name.constData(), mode_t(e.old.mode), 0) != 0)
            return systemText(errno);
        return WriteStamps(e.path, e.old);
    }
    }
    return QStringLiteral("未知的记录");
}

} // namespace

namespace {

const QString VerdictKey = QStringLiteral("verdict"), Reason = QStringLiteral("reason"),
              Shown = QStringLiteral("path");

// The undo as a batch of its own: each file of the batch undone judged (later changes first: a
// name the batch freed may have been taken by a later rename), then put back where it holds
// what the batch left. The entries are read a page at a time, in the order they are taken.
class PutBackStep final : public BatchStep {
public:
    PutBackStep(BatchEntries &entries, QString folder, QString keptFolder,
                std::function<bool()> goOn)
        : m_entries(entries), m_folder(std::move(folder)), m_keptFolder(std::move(keptFolder)),
          m_goOn(std::move(goOn)) {}
    // The runner asked to stop when the caller's progress says so.
    BatchRunner *runner = nullptr;

    BatchKind kind() const override { return BatchKind::Restore; }
    bool keepsOriginals() const override { return m_entries.keepsOriginals(); }
    int count() const override { return m_entries.count(); }
    // The journal's whole paths: relative to the batch's folder where they lie directly in it.
    QString name(int i) const override {
        const JournalEntry *e = m_entries.at(i);
        const QString path = e ? e->path : QString();
        return path.startsWith(m_folder + QLatin1Char('/')) ? path.mid(m_folder.size() + 1) : path;
    }
    bool prepare(int i, BatchRow &row) override {
        const JournalEntry *e = m_entries.at(i);
        if (e && !withinBatch(*e, m_folder, m_keptFolder)) {
            m_plan = {};
            m_plan.shown = e->path;
            m_plan.reason = Outside;
        } else if (e) {
            m_plan = judge(*e);
        } else {
            m_plan = {};
            m_plan.reason = Unreadable;
        }
        step();
        if (m_plan.verdict == Verdict::Restore)
            return true;
        row.verdict = RowVerdict::Skipped;
        row.values = {{Shown, m_plan.shown},
                      {VerdictKey, m_plan.verdict == Verdict::Unchanged
                                       ? QStringLiteral("unchanged")
                                       : QStringLiteral("skipped")},
                      {Reason, m_plan.reason}};
        return false;
    }
    // Right after the file's prepare(), whose judgement it records.
    int intend(BatchJournal &journal, int, const QString &) override {
        return ::kalmora::intend(journal, m_plan);
    }
    void dryRun(int i, const QString &, BatchRow &row) override {
        row.values = {{Shown, shown(i)}, {VerdictKey, QStringLiteral("restored")}};
    }
    ChangeResult change(int i, const QString &, BatchRow &row) override {
        const JournalEntry *e = m_entries.at(i);
        const QString why = e ? putBack(*e) : Unreadable;
        row.verdict = why.isEmpty() ? RowVerdict::Done : RowVerdict::Failed;
        row.values = {
            {Shown, shown(i)},
            {VerdictKey, why.isEmpty() ? QStringLiteral("restored") : QStringLiteral("failed")},
            {Reason, why.isEmpty() ? QString() : QStringLiteral("还原失败：") + why}};
        // Stamps: what the journal would read itself, so that it need not look the entry up.
        std::optional<FileState> after;
        if (e && e->kind == ChangeKind::Stamps)
            after = ReadFileState(e->path);
        return {why.isEmpty(), after, {}};
    }
    void notReached(int i, BatchRow &row) override { row.values = {{Shown, shown(i)}}; }
    // After each file judged or taken.
    void step() {
        if (!m_goOn())
            runner->requestStop();
    }

private:
    // A file the restore takes (or would): where it is now.
    QString shown(int i) const {
        const JournalEntry *e = m_entries.at(i);
        return e ? shownOf(*e) : QString();
    }

    BatchEntries &m_entries;
    QString m_folder;
    QString m_keptFolder; // the batch's kept originals
    std::function<bool()> m_goOn;
    Plan m_plan; // of the file prepared last
};

// The report from the rows as they come.
class ReportSink final : public BatchSink {
public:
    ReportSink(RestoreReport &report, PutBackStep &step, const RestoreFileSeen &each)
        : m_report(report), m_step(step), m_each(each) {}
    void row(const BatchRow &row) override {
        const QString path = row.value(Shown), reason = row.value(Reason);
        const QString verdict = row.value(VerdictKey);
        if (row.verdict == RowVerdict::NotDone) {
            ++m_report.notDone;
            return;
        }
        if (row.verdict == RowVerdict::Done || row.verdict == RowVerdict::DryRun)
            ++m_report.restored;
        if (verdict == QLatin1String("unchanged"))
            ++m_report.unchanged;
        const RestoreFile file{
            path,
            verdict == QLatin1String("unchanged") ? RestoreFile::Verdict::Unchanged
            : verdict == QLatin1String("skipped") ? RestoreFile::Verdict::Skipped
            : verdict == QLatin1String("failed")  ? RestoreFile::Verdict::Failed
                                                  : RestoreFile::Verdict::Restored,
            reason};
        if (m_each) {
            m_each(file);
        } else {
            if (file.verdict == RestoreFile::Verdict::Skipped ||
                file.verdict == RestoreFile::Verdict::Failed)
                m_report.skipped.append({path, reason});
            m_report.files.append(file);
        }
        m_step.step(); // after every file taken, whatever its verdict
    }
    void journalFailed(bool started, const QString &reason) override {
        m_report.reason = reason;
        m_report.journalFailed = !started;
    }

private:
    RestoreReport &m_report;
    PutBackStep &m_step;
    const RestoreFileSeen &m_each;
};

} // namespace

RestoreReport RestoreBatch(const JournalConfig &config, qint64 batch, bool dryRun,
                           const RestoreStep &step, const RestoreFileSeen &each,
                           const std::function<void(int)> &beforeChange) {
    RestoreReport report;
    BatchEntries entries;
    BatchSummary summary;
    if (!entries.open(config, batch, summary, &report.reason))
        return report;
    if (summary.state == BatchSummary::State::Running) {
        report.reason = QStringLiteral("这批操作还在进行中");
        return report;
    }
    // Judging reads every file (an erased photo's whole content): it counts as half the work.
    const int total = 2 * entries.count();
    int steps = 0;
    PutBackStep putBack(entries, summary.folder, journal_detail::keptFolder(config, batch),
                        [&] { return !step || step(++steps, total); });
    ReportSink sink(report, putBack, each);
    BatchOptions options;
    options.folder = summary.folder;
    options.dryRun = dryRun;
    // A real restore is always recorded, so that it can be undone in turn; it opens the batch
    // before judging, as opening prunes what the journal no longer keeps.
    options.journal = config;
    options.journal.enabled = true;
    options.undoes = batch;
    BatchRunner runner(putBack, sink, options);
    putBack.runner = &runner;
    runner.beforeChange = beforeChange;
    const BatchOutcome outcome = runner.run();
    switch (outcome.end) {
    case BatchOutcome::End::NotStarted:
        if (!report.journalFailed)
            report.journalFailed = !report.reason.isEmpty();
        return report;
    case BatchOutcome::End::Stopped:
        if (!outcome.changing) {
            // Stopped while judging: nothing of the restore went to the disk, and the history
            // lists no restore that did nothing.
            report = RestoreReport();
            report.notDone = entries.count();
            report.reason = QStringLiteral("已停止");
            report.stopped = true;
            return report;
        }
        report.stopped = true;
        break;
    case BatchOutcome::End::JournalFailed:
    case BatchOutcome::End::Finished:
        break;
    }
    report.started = true;
    report.restoreBatch = dryRun ? 0 : outcome.batchId;
    return report;
}

} // namespace kalmora
