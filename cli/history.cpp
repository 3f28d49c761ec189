#include "cli/history.h"

#include "cli/output.h"
#include "core/base/path_bytes.h"
#include "core/batch/restore_step.h"
#include "core/journal/journal.h"
#include "core/journal/journal_texts.h"
#include "core/platform/clock.h"
#include "core/platform/environment.h"
#include "core/platform/settings.h"

#include <QDateTime>
#include <QSet>

namespace kalmora::cli {

namespace {

// The English of the journal's reasons, by their fixed beginnings; the rest (a folder, the
// database's or the system's own words) is kept as it is.
QString englishReason(const QString &reason) {
    using journal_detail::damagedText, journal_detail::setAsideText;
    static const std::pair<QString, const char *> prefixes[] = {
        {QStringLiteral("找不到用户的状态文件夹"),
         "no state folder could be found (neither XDG_STATE_HOME nor HOME is set)"},
        {QStringLiteral("无法建立文件夹 "), "cannot create the folder "},
        {QStringLiteral("无法打开撤销记录："), "cannot open the journal: "},
        {QStringLiteral("无法写入撤销记录："), "cannot write the journal: "},
        {QStringLiteral("无法保留原件："), "cannot keep the original: "},
        {QStringLiteral("撤销记录中没有这一批操作"), "the journal holds no such batch"},
        {QStringLiteral("这批操作还在进行中"), "the batch is still running"},
        {damagedText(true, {}),
         "the journal's file is empty (0 bytes): its records are lost. When the next batch "
         "starts, the file is kept under another name and a new journal begins."},
        {damagedText(false, {}),
         "the journal's file is damaged and cannot be read. When the next batch starts, the file "
         "is kept under another name and a new journal begins."},
        {setAsideText(true, {}),
         "the journal's file was empty (0 bytes): its records are lost. It was kept under another "
         "name; this batch did not start, and started again it begins a new journal. The file "
         "is now "},
        {setAsideText(false, {}),
         "the journal's file was damaged and could not be read. It was kept under another name; "
         "this batch did not start, and started again it begins a new journal. The file is now "},
    };
    for (const auto &[chinese, english] : prefixes) {
        if (reason.startsWith(chinese))
            return QString::fromUtf8(english) + reason.mid(chinese.size());
    }
    return reason;
}

// What the batch's undo can no longer put back, as a word: empty when it can put back all.
QString limitWord(const BatchSummary &b) {
    if (b.originalsPruned)
        return QStringLiteral("originals-pruned");
    if (b.erasedWithoutOriginal > 0)
        return QStringLiteral("erased-without-original:%1").arg(b.erasedWithoutOriginal);
    return {};
}

QString stateWord(const BatchSummary &b) {
    if (b.undoneBy != 0)
        return QStringLiteral("undone");
    switch (b.state) {
    case BatchSummary::State::Running:
        return QStringLiteral("running");
    case BatchSummary::State::Interrupted:
        return QStringLiteral("interrupted");
    case BatchSummary::State::Finished:
        break;
    }
    return QStringLiteral("finished");
}

QString timeText(qint64 seconds) {
    return QDateTime::fromSecsSinceEpoch(seconds).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

std::optional<QList<BatchSummary>> batches(const JournalConfig &config) {
    QString reason;
    QList<BatchSummary> list = ListBatches(config, &reason);
    if (list.isEmpty() && !reason.isEmpty()) {
        Message(ChineseMessages()
                    ? QStringLiteral("无法读取撤销记录：%1").arg(reason)
                    : QStringLiteral("Cannot read the journal: %1").arg(englishReason(reason)));
        return std::nullopt;
    }
    return list;
}

} // namespace

JournalConfig CliJournalConfig() {
    ProcessEnvironment environment;
    QtSettings settings;
    SystemClock clock;
    return JournalConfigFrom(environment, settings, clock);
}

QString JournalFailureMessage(const QString &reason) {
    if (ChineseMessages())
        return JournalFailureText(reason);
    return QStringLiteral("Cannot write the undo journal: the batch did not start and no file "
                          "was changed.\n\n") +
           englishReason(reason);
}

QString JournalStopMessage(const QString &reason) {
    return ChineseMessages()
               ? QStringLiteral("无法写入撤销记录，操作在此停止，其余文件没有改动。\n\n") + reason
               : QStringLiteral("Cannot write the undo journal: the batch stopped here and the "
                                "remaining files were not changed.\n\n") +
                     englishReason(reason);
}

int HistoryCommand(const Invocation &inv) {
    const std::optional<QList<BatchSummary>> list = batches(CliJournalConfig());
    if (!list)
        return SomeFailed;
    const bool json = inv.has(QStringLiteral("json"));
    for (const BatchSummary &b : *list) {
        const QString number = QString::number(b.id);
        const QString fields[] = {timeText(b.started), BatchKindText(b.kind), stateWord(b)};
        const int counts[] = {b.done, b.failed, b.total};
        const QString limit = limitWord(b); // last: scripts read the columns before it as ever
        QByteArray line;
        if (json) {
            line = "{\"batch\":" + number.toUtf8() +
                   ",\"started\":" + Results::jsonString(fields[0]) +
                   ",\"operation\":" + Results::jsonString(fields[1]) +
                   ",\"state\":" + Results::jsonString(fields[2]) +
                   ",\"done\":" + QByteArray::number(counts[0]) +
                   ",\"failed\":" + QByteArray::number(counts[1]) +
                   ",\"total\":" + QByteArray::number(counts[2]) +
                   ",\"folder\":" + Results::jsonString(b.folder) +
                   ",\"undo_limit\":" + Results::jsonString(limit) + "}";
        } else {
            line = number.toUtf8();
            for (const QString &f : fields)
                line += '\t' + Results::tsvField(f.toUtf8());
            for (int c : counts)
                line += '\t' + QByteArray::number(c);
            line += '\t' + Results::tsvField(PathBytes(b.folder));
            line += '\t' + Results::tsvField(limit.toUtf8());
        }
        WriteOut(line + '\n');
    }
    return AllDone;
}

int UndoCommand(const Invocation &inv) {
    const JournalConfig config = CliJournalConfig();
    qint64 batch = 0;
    if (!inv.operand.isEmpty()) {
        bool ok = false;
        batch = inv.operand.toLongLong(&ok);
        if (!ok || batch <= 0) {
            Message(Say("批次编号无效：%1", "Not a batch number: %1").arg(inv.operand));
            return Usage;
        }
    } else {
        const std::optional<QList<BatchSummary>> list = batches(config);
        if (!list)
            return SomeFailed;
        // The newest batch of files that no undo has taken yet; a running one is not ours. One
        // an undo left as it was (every file changed since) would be left so again, and one of
        // no file (such an undo's own) has nothing to undo: either would stop the default there
        // for good. Both stay for an undo that names them.
        QSet<qint64> taken;
        for (const BatchSummary &b : *list) {
            if (b.kind == BatchKind::Restore && b.state != BatchSummary::State::Running)
                taken.insert(b.undoes);
        }
        for (const BatchSummary &b : *list) {
            if (b.total > 0 && !taken.contains(b.id) && b.undoneBy == 0 &&
                b.state != BatchSummary::State::Running) {
                batch = b.id;
                break;
            }
        }
        if (batch == 0) {
            Message(Say("没有可撤销的批次。", "No batch to undo."));
            return SomeFailed;
        }
    }
    const bool dryRun = inv.has(QStringLiteral("dry-run"));
    // One line per file as the undo takes it, as the other commands print; a dry run prints
    // "dry-run" for a file the undo would put back, and the same verdicts as the undo for the
    // others.
    Results results(inv.has(QStringLiteral("json")));
    int left = 0;
    const RestoreReport report = RestoreBatch(config, batch, dryRun, {}, [&](const RestoreFile &f) {
        QString word;
        switch (f.verdict) {
        case RestoreFile::Verdict::Restored:
            word = dryRun ? QStringLiteral("dry-run") : QStringLiteral("restored");
            break;
        case RestoreFile::Verdict::Unchanged:
            word = QStringLiteral("unchanged");
            break;
        case RestoreFile::Verdict::Skipped:
            word = QStringLiteral("skipped");
            ++left;
            break;
        case RestoreFile::Verdict::Failed:
            word = QStringLiteral("failed");
            ++left;
            break;
        }
        results.add(f.path, word, {{QStringLiteral("reason"), f.reason}});
    });
    if (!report.started) {
        if (report.journalFailed) {
            Message(JournalFailureMessage(report.reason));
            return NotJournaled;
        }
        Message(Say("批次 %1 未撤销：%2", "Batch %1 was not undone: %2")
                    .arg(batch)
                    .arg(ChineseMessages() ? report.reason : englishReason(report.reason)));
        return SomeFailed;
    }
    if (dryRun)
        Message(
            Say("批次 %1 撤销预演：将恢复 %2 个文件，%3 个未曾改动，%4 个跳过；没有改动任何文件。",
                "Batch %1, dry run: %2 files would be restored, %3 are as they were, %4 "
                "would be skipped; nothing was changed.")
                .arg(batch)
                .arg(report.restored)
                .arg(report.unchanged)
                .arg(left));
    else
        Message(Say("批次 %1 已撤销：恢复 %2 个文件，%3 个未曾改动，%4 个跳过。",
                    "Batch %1 undone: %2 files restored, %3 left as they were, %4 skipped.")
                    .arg(batch)
                    .arg(report.restored)
                    .arg(report.unchanged)
                    .arg(left));
    return left == 0 ? AllDone : SomeFailed;
}

} // namespace kalmora::cli
