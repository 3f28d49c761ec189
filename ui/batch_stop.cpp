#include "ui/batch_stop.h"

#include "app/comm_declare.h"
#include "ui/file_grid.h"
#include "ui/main_window.h"

#include <QBoxLayout>
#include <QGridLayout>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>

namespace kalmora {

namespace {

// The layout, at any depth, that holds the widget itself.
QLayout *layoutHolding(QLayout *layout, QWidget *widget) {
    if (!layout)
        return nullptr;
    if (layout->indexOf(widget) >= 0)
        return layout;
    for (int i = 0; i < layout->count(); ++i)
        if (QLayout *found = layoutHolding(layout->itemAt(i)->layout(), widget))
            return found;
    return nullptr;
}

} // namespace

BatchStop::BatchStop(FMainDate &window)
    : QObject(&window), w(window), m_button(new QPushButton(QStringLiteral("停止(S)"))),
      m_escape(new QShortcut(QKeySequence(Qt::Key_Escape), &window)) {
    m_button->setObjectName(QStringLiteral("CmdStop"));
    m_button->setAccessibleName(QStringLiteral("停止"));
    m_button->setAccessibleDescription(QStringLiteral("CmdStop"));
    m_button->setShortcut(QKeySequence(Qt::ALT | Qt::Key_S));

    // The window lays itself out; the button goes right after the progress bar, wherever that is.
    QWidget *bar = w.ProgressBar1;
    QWidget *parent = bar->parentWidget();
    QLayout *holder = parent ? layoutHolding(parent->layout(), bar) : nullptr;
    m_button->setParent(parent ? parent : &window);
    if (auto *box = qobject_cast<QBoxLayout *>(holder)) {
        box->insertWidget(box->indexOf(bar) + 1, m_button);
    } else if (auto *grid = qobject_cast<QGridLayout *>(holder)) {
        int row = 0, col = 0, rowSpan = 0, colSpan = 0;
        grid->getItemPosition(grid->indexOf(bar), &row, &col, &rowSpan, &colSpan);
        grid->addWidget(m_button, row, col + colSpan);
    } else {
        m_button->move(bar->geometry().topRight());
    }
    m_button->setVisible(false);
    m_button->setEnabled(false);
    m_escape->setEnabled(false);

    connect(m_button, &QPushButton::clicked, this, [] { BatchBreath::requestStop(); });
    connect(m_escape, &QShortcut::activated, m_button, &QPushButton::click);
    connect(&BatchBreath::notifier(), &BatchSignals::runningChanged, this,
            &BatchStop::batchRunning);
}

void BatchStop::batchRunning(bool running) {
    m_button->setVisible(running);
    m_button->setEnabled(running);
    m_escape->setEnabled(running);
}

QString BatchStop::notDoneText() {
    return QStringLiteral("未处理(已停止)");
}

void BatchStop::markNotDone(FileGrid &grid, int first, int last) {
    for (int r = first; r <= last && r < grid.rows(); ++r)
        grid.setText(r, 5, notDoneText());
}

void BatchStop::reportStopped(int done, int notDone) {
    w.services().prompter.show(
        QStringLiteral("已停止：已处理%1个文件，其余%2个未处理。").arg(done).arg(notDone),
        MsgIcon::Information);
}

} // namespace kalmora
