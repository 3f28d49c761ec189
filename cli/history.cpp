#include "cli/history.h"

#include "app/path_bytes.h"
#include "cli/output.h"
#include "journal/journal.h"
#include "journal/restore.h"
#include "platform/clock.h"
#include "platform/environment.h"
#include "platform/settings.h"

#include <QDateTime>

namespace kalmora::cli {

namespace {

// The journal the window writes: the same folder and the same settings.
JournalConfig journalConfig() {
    ProcessEnvironment environment;
    QtSettings settings;
    SystemClock clock;
    return JournalConfigFrom(environment, settings, clock);
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
        Message(Say("无法读取撤销记录：%1", "Cannot read the journal: %1").arg(reason));
        return std::nullopt;
    }
    return list;
}

} // namespace

int HistoryCommand(const Invocation &inv) {
    const std::optional<QList<BatchSummary>> list = batches(journalConfig());
    if (!list)
        return SomeFailed;
    const bool json = inv.has(QStringLiteral("json"));
    for (const BatchSummary &b : *list) {
        const QString number = QString::number(b.id);
        const QString fields[] = {timeText(b.started), BatchKindText(b.kind), stateWord(b)};
        const int counts[] = {b.done, b.failed, b.total};
        QByteArray line;
        if (json) {
            line = "{\"batch\":" + number.toUtf8() +
                   ",\"started\":" + Results::jsonString(fields[0]) +
                   ",\"operation\":" + Results::jsonString(fields[1]) +
                   ",\"state\":" + Results::jsonString(fields[2]) +
                   ",\"done\":" + QByteArray::number(counts[0]) +
                   ",\"failed\":" + QByteArray::number(counts[1]) +
                   ",\"total\":" + QByteArray::number(counts[2]) +
                   ",\"folder\":" + Results::jsonString(b.folder) + "}";
        } else {
            line = number.toUtf8();
            for (const QString &f : fields)
                line += '\t' + Results::tsvField(f.toUtf8());
            for (int c : counts)
                line += '\t' + QByteArray::number(c);
            line += '\t' + Results::tsvField(PathBytes(b.folder));
        }
        WriteOut(line + '\n');
    }
    return AllDone;
}

int UndoCommand(const Invocation &inv) {
    const JournalConfig config = journalConfig();
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
        // The newest batch that changed files and is not undone yet; a running one is not ours.
        for (const BatchSummary &b : *list) {
            if (b.undoneBy == 0 && b.state != BatchSummary::State::Running) {
                batch = b.id;
                break;
            }
        }
        if (batch == 0) {
            Message(Say("没有可撤销的批次。", "No batch to undo."));
            return SomeFailed;
        }
    }
    const RestoreReport report = RestoreBatch(config, batch);
    if (!report.started) {
        Message(
            Say("批次 %1 未撤销：%2", "Batch %1 was not undone: %2").arg(batch).arg(report.reason));
        return SomeFailed;
    }
    Results results(inv.has(QStringLiteral("json")));
    for (const RestoreSkip &skip : report.skipped)
        results.add(skip.path, QStringLiteral("skipped"),
                    {{QStringLiteral("reason"), skip.reason}});
    Message(Say("批次 %1 已撤销：恢复 %2 个文件，%3 个未曾改动，%4 个跳过。",
                "Batch %1 undone: %2 files restored, %3 left as they were, %4 skipped.")
                .arg(batch)
                .arg(report.restored)
                .arg(report.unchanged)
                .arg(report.skipped.size()));
    return report.skipped.isEmpty() ? AllDone : SomeFailed;
}

} // namespace kalmora::cli
