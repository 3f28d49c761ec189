#include "journal/restore.h"

#include "core/base/folder_handle.h"
#include "core/base/path_bytes.h"
#include "core/base/write_protection.h"
#include "filetime/rename_rules.h"

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

enum class Verdict { Restore, Unchanged, Skip };

struct Plan {
    const JournalEntry *entry = nullptr;
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

Plan judge(const JournalEntry &e) {
    Plan p;
    p.entry = &e;
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
    const JournalEntry &e = *p.entry;
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

// Empty when the file is back as it was.
QString putBack(const Plan &p) {
    const JournalEntry &e = *p.entry;
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
        return WriteStamps(e.path, e.old);
    }
    }
    return QStringLiteral("未知的记录");
}

} // namespace

RestoreReport RestoreBatch(const JournalConfig &config, qint64 batch, bool dryRun,
                           const RestoreStep &step) {
    RestoreReport report;
    QList<JournalEntry> entries;
    BatchSummary summary;
    if (!ReadEntries(config, batch, entries, summary, &report.reason))
        return report;
    if (summary.state == BatchSummary::State::Running) {
        report.reason = QStringLiteral("这批操作还在进行中");
        return report;
    }
    // A dry run records nothing; a real restore is always recorded, so it can be undone.
    std::optional<BatchJournal> journal;
    const auto journalFailed = [&] {
        report.reason = journal->reason();
        report.journalFailed = true;
        return report;
    };
    if (!dryRun) {
        JournalConfig own = config;
        own.enabled = true;
        journal.emplace(own);
        if (!journal->begin(summary.folder, BatchKind::Restore, batch))
            return journalFailed();
        report.restoreBatch = journal->batchId();
    }
    // Every file is judged and put back through the batch's folder as the undo opened it.
    const FolderScope scope(summary.folder);
    // Judged once the batch is open: opening prunes what the journal no longer keeps. Later
    // changes first: a name the batch freed may have been taken by a later rename.
    // Judging reads every file (an erased photo's whole content): it counts as half the work.
    const int total = 2 * int(entries.size());
    int steps = 0;
    const auto goOn = [&] { return !step || step(++steps, total); };
    QList<Plan> plans;
    for (auto it = entries.crbegin(); it != entries.crend(); ++it) {
        plans.append(judge(*it));
        if (!goOn()) {
            report.stopped = true;
            report.notDone = int(entries.size());
            report.reason = QStringLiteral("已停止");
            // Nothing of the restore went to the disk yet: without an end its batch row is
            // rolled back, so the history lists no restore that did nothing.
            journal.reset();
            report.restoreBatch = 0;
            return report;
        }
    }
    if (journal) {
        for (Plan &p : plans) {
            if (p.verdict != Verdict::Restore)
                continue;
            p.seq = intend(*journal, p);
            if (p.seq == 0)
                return journalFailed();
        }
        if (!journal->commit())
            return journalFailed();
    }
    report.started = true;
    const auto file = [&](const Plan &p, RestoreFile::Verdict verdict, const QString &reason) {
        report.files.append({p.shown, verdict, reason});
    };
    for (int i = 0; i < plans.size(); ++i) {
        const Plan &p = plans[i];
        switch (p.verdict) {
        case Verdict::Unchanged:
            ++report.unchanged;
            file(p, RestoreFile::Verdict::Unchanged, {});
            break;
        case Verdict::Skip:
            report.skipped.append({p.shown, p.reason});
            file(p, RestoreFile::Verdict::Skipped, p.reason);
            break;
        case Verdict::Restore: {
            const QString why = journal ? putBack(p) : QString();
            if (journal)
                journal->done(p.seq, why.isEmpty());
            if (why.isEmpty()) {
                ++report.restored;
                file(p, RestoreFile::Verdict::Restored, {});
            } else {
                report.skipped.append({p.shown, QStringLiteral("还原失败：") + why});
                file(p, RestoreFile::Verdict::Failed, QStringLiteral("还原失败：") + why);
            }
            break;
        }
        }
        if (!goOn() && i + 1 < plans.size()) {
            report.stopped = true;
            report.notDone = int(plans.size()) - i - 1;
            break;
        }
    }
    if (journal && !journal->end() && report.reason.isEmpty())
        report.reason = journal->reason();
    return report;
}

} // namespace kalmora
