#include "gui/window/history_window.h"

#include "core/batch/restore_step.h"
#include "core/platform/comm_declare.h"
#include "core/platform/services.h"
#include "gui/window/main_window.h"
#include "gui/window/window_batch.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QLocale>
#include <QPushButton>
#include <QTableWidgetItem>

namespace kalmora {

namespace {

const QString CrLf = QStringLiteral("\r\n");

QString stateText(const BatchSummary &b) {
    if (b.undoneBy != 0)
        return QStringLiteral("已撤销");
    switch (b.state) {
    case BatchSummary::State::Running:
        return QStringLiteral("进行中");
    case BatchSummary::State::Interrupted:
        return QStringLiteral("中断");
    case BatchSummary::State::Finished:
        break;
    }
    return QStringLiteral("完成");
}

// The state, and what its undo can no longer put back.
QString stateWithLimit(const BatchSummary &b) {
    const QString limit = UndoLimitText(b);
    return limit.isEmpty() ? stateText(b) : stateText(b) + QStringLiteral("（%1）").arg(limit);
}

} // namespace

FHistory::FHistory(Services &services, QWidget *parent) : QDialog(parent), m_services(services) {
    setupUi(this);
    TBatches->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    TBatches->horizontalHeader()->setStretchLastSection(true);
    SpinCopyLimit->setValue(int(config().copyLimitBytes >> 20));
    connect(SpinCopyLimit, &QSpinBox::valueChanged, this, [this](int mb) {
        m_services.settings.setValue(QStringLiteral("Journal"), QStringLiteral("CopyLimitMB"),
                                     QString::number(mb));
    });
    ChJournal->setChecked(config().enabled);
    connect(ChJournal, &QCheckBox::toggled, this, [this](bool on) {
        m_services.settings.setValue(QStringLiteral("Journal"), QStringLiteral("Enabled"),
                                     on ? QStringLiteral("1") : QStringLiteral("0"));
        showJournal();
    });
    connect(TBatches, &QTableWidget::itemSelectionChanged, this, [this] {
        const qint64 id = selectedBatch();
        const QList<QTableWidgetItem *> items = TBatches->selectedItems();
        // The state may go on with what the undo can no longer put back.
        CmdUndo->setEnabled(
            id != 0 && !items.isEmpty() &&
            !TBatches->item(items.first()->row(), 3)->text().startsWith(QStringLiteral("进行中")));
    });
    connect(CmdUndo, &QPushButton::clicked, this, &FHistory::undoClicked);
    connect(CmdClose, &QPushButton::clicked, this, &QDialog::accept);
    connect(CmdStop, &QPushButton::clicked, this, [] { BatchBreath::requestStop(); });
    setRestoring(false);
    refresh();
}

JournalConfig FHistory::config() const {
    return JournalConfigFrom(m_services.environment, m_services.settings, m_services.clock);
}

void FHistory::showJournal() {
    const JournalConfig c = config();
    if (c.stateFolder.isEmpty()) {
        LJournal->setText(QStringLiteral("找不到用户的状态文件夹，无法记录撤销。"));
        return;
    }
    const QString where =
        QStringLiteral("撤销记录保存在 %1；保留最近 %2 天的批次；为撤销保留的原件共占 %3"
                       "（上限 %4 MB）。")
            .arg(c.stateFolder)
            .arg(c.keepDays)
            .arg(QLocale::c().formattedDataSize(KeptOriginalsBytes(c), 1,
                                                QLocale::DataSizeTraditionalFormat))
            .arg(c.keepOriginalsBytes >> 20);
    LJournal->setText(c.enabled ? where
                                : QStringLiteral("撤销记录已关闭：此后的批次不做记录，不能撤销。") +
                                      where);
}

void FHistory::refresh() {
    showJournal();
    QString reason;
    const QList<BatchSummary> batches = ListBatches(config(), &reason);
    TBatches->setRowCount(0);
    TBatches->setRowCount(int(batches.size()));
    for (int r = 0; r < batches.size(); ++r) {
        const BatchSummary &b = batches[r];
        const auto local = UtcSecondsToLocal(b.started);
        QString operation = BatchKindText(b.kind);
        if (b.kind == BatchKind::Restore)
            operation += QStringLiteral("(第 %1 批)").arg(b.undoes);
        const QStringList texts{local ? local->toText() : QString(), operation,
                                QStringLiteral("%1 / %2").arg(b.done).arg(b.failed),
                                stateWithLimit(b), b.folder};
        for (int c = 0; c < texts.size(); ++c) {
            auto *item = new QTableWidgetItem(texts[c]);
            item->setData(Qt::UserRole, b.id);
            item->setToolTip(QStringLiteral("第 %1 批：").arg(b.id) + texts[c]);
            TBatches->setItem(r, c, item);
        }
    }
    if (!reason.isEmpty())
        TResult->setPlainText(QStringLiteral("无法读取撤销记录：") + reason);
    CmdUndo->setEnabled(false);
}

qint64 FHistory::selectedBatch() const {
    const QList<QTableWidgetItem *> items = TBatches->selectedItems();
    return items.isEmpty() ? 0 : items.first()->data(Qt::UserRole).toLongLong();
}

void FHistory::undoClicked() {
    const qint64 batch = selectedBatch();
    if (batch == 0)
        return;
    const MsgAnswer answer = m_services.prompter.show(
        QStringLiteral("确定撤销所选的这批操作吗？") + CrLf +
            QStringLiteral("此后没有被改动过的文件都将恢复到这批操作之前的样子。"),
        MsgIcon::Question, MsgButtons::OkCancel, QStringLiteral("消息"), MsgAnswer::Cancel);
    if (answer != MsgAnswer::Ok)
        return;
    RestoreReport report;
    {
        // A batch of thousands of files (or erased photos, read whole) takes seconds: the window
        // shows how far it came and offers a stop after the file in hand.
        BatchBreath breath;
        std::atomic<bool> stop = false;
        const QMetaObject::Connection stopped = connect(
            &BatchBreath::notifier(), &BatchSignals::stopRequested, this, [&] { stop = true; });
        setRestoring(true);
        // The restore runs on a thread of its own; the bar follows it by the percent.
        int shown = -1;
        const auto progress = [&](int done, int total) {
            const int percent = total > 0 ? int(qint64(done) * 100 / total) : 100;
            const auto show = [this, done, total] {
                PBRestore->setMaximum(total);
                PBRestore->setValue(done);
            };
            if (BatchBreath::BreathIntervalMs == 0) {
                // Tests: the events pending at each file are handled there.
                QMetaObject::invokeMethod(
                    this,
                    [&] {
                        show();
                        QCoreApplication::processEvents(QEventLoop::AllEvents);
                    },
                    Qt::BlockingQueuedConnection);
            } else if (percent != shown) {
                shown = percent;
                QMetaObject::invokeMethod(this, show, Qt::QueuedConnection);
            }
            return !stop.load();
        };
        RunOffWindowThread([&] { report = RestoreBatch(config(), batch, false, progress); },
                           [&] { stop = true; });
        disconnect(stopped);
        setRestoring(false);
    }
    QString text;
    if (!report.started) {
        text = QStringLiteral("撤销没有进行，没有改动任何文件：") + report.reason;
    } else {
        text = QStringLiteral("已恢复 %1 个文件；%2 个文件这批操作并未改动。")
                   .arg(report.restored)
                   .arg(report.unchanged);
        if (!report.skipped.isEmpty()) {
            text += QLatin1Char('\n') +
                    QStringLiteral("以下 %1 个文件未恢复：").arg(report.skipped.size());
            for (const RestoreSkip &s : report.skipped)
                text += QLatin1Char('\n') + s.path + QStringLiteral("：") + s.reason;
        }
        if (report.stopped)
            text += QLatin1Char('\n') +
                    QStringLiteral("已停止：其余 %1 个文件没有处理，仍是这批操作留下的样子。")
                        .arg(report.notDone);
        if (report.restored > 0)
            text += QLatin1Char('\n') +
                    QStringLiteral("主窗口中已导入的列表不会自动更新，需要时请重新导入。");
    }
    refresh();
    TResult->setPlainText(text);
}

void FHistory::setRestoring(bool restoring) {
    m_restoring = restoring;
    PBRestore->setValue(0);
    PBRestore->setVisible(restoring);
    CmdStop->setVisible(restoring);
    for (QWidget *control :
         {static_cast<QWidget *>(CmdUndo), static_cast<QWidget *>(CmdClose),
          static_cast<QWidget *>(TBatches), static_cast<QWidget *>(SpinCopyLimit)})
        control->setEnabled(!restoring);
}

void FHistory::reject() {
    if (m_restoring) {
        BatchBreath::requestStop();
        return;
    }
    QDialog::reject();
}

History::History(FMainDate &window) : QObject(&window), w(window) {
    connect(w.CmdHistory, &QPushButton::clicked, this, &History::historyClicked);
}

void History::historyClicked() {
    if (w.Busy) {
        w.services().prompter.beep();
        return;
    }
    FHistory dialog(w.services(), &w);
    dialog.exec();
}

} // namespace kalmora
