#include "gui/window/main_window.h"

#include "core/grid/file_grid.h"
#include "core/import/file_list.h"
#include "core/platform/comm_declare.h"
#include "gui/plan/time_fields.h"
#include "gui/window/features.h"
#include "gui/window/file_grid_view.h"
#include "gui/window/help_window.h"
#include "gui/window/notice_window.h"
#include "gui/window/paint_throttle.h"
#include "gui/window/up_down.h"
#include "gui/window/window_place.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QWindow>

namespace kalmora {

QString FMainDate::homePage() {
    return QStringLiteral("https://kalmora.example.com");
}

QString FMainDate::tag(const QObject *control) {
    return control->property("tag").toString();
}

void FMainDate::setTag(QObject *control, const QString &value) {
    control->setProperty("tag", value);
}

FMainDate::FMainDate(Services &services, const AppValues &values, QWidget *parent)
    : QMainWindow(parent), m_services(services), m_values(values) {
    setupUi(this);
    completeControls();
    m_features = std::make_unique<Features>(*this);
    // Only while work runs: the flags may stay set between batches, the loop may not.
    new PaintThrottle(this, [] { return BatchBreath::running(); });
    m_clockTimer = new QTimer(this);
    m_clockTimer->setInterval(1000);
    connect(m_clockTimer, &QTimer::timeout, this, &FMainDate::refreshClock);
    m_clockTimer->start();
    connect(qGuiApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow *focus) {
        if (!focus)
            m_leftApplication = true;
        else if (focus != windowHandle())
            m_leftApplication = false; // one of our boxes or windows came in between
    });
    load();
}

FMainDate::~FMainDate() = default;

void FMainDate::completeControls() {
    CmbFileFilter->setEditText(defaultPattern());
    File1 = new FileList(this);
    File1->setObjectName(QStringLiteral("File1"));
    File1->setPattern(QStringLiteral("*.jpe;*.jpeg;*.jpg;*.bmp;*.gif;*.tiff;*.tif"));

    struct Spin {
        UpDown *spin;
        QLineEdit *field;
        int min, max;
    };
    for (const Spin &s : std::initializer_list<Spin>{
             {UpDownYS, TStartY, 2000, 2100},    {UpDownMonS, TStartM, 1, 12},
             {UpDownDayS, TStartD, 1, 31},       {UpDownYHS, TStartH, 0, 23},
             {UpDownMinS, TStartMin, 0, 59},     {UpDown2, TStartSec, 0, 59},
             {UpDownYE, TEndY, 2000, 2100},      {UpDownMonE, TEndM, 1, 12},
             {UpDownDayE, TEndD, 1, 31},         {UpDownYHE, TEndH, 0, 23},
             {UpDown1, TEndMin, 0, 59},          {UpDown3, TEndSec, 0, 59},
             {UpDownTStep, TStep, 1, 300},       {UpDownTStepS, TStepS, 1, 80},
             {UpDownTStepE, TStepE, 2, 300},     {UpDownOnDutyH, TOnDutyH, 0, 23},
             {UpDownOnDutyM, TOnDutyM, 0, 59},   {UpDownOnDutyS, TOnDutyS, 0, 59},
             {UpDownoffDutyH, TOffDutyH, 0, 23}, {UpDownOffDutyM, TOffDutyM, 0, 59},
             {UpDownOffDutyS, TOffDutyS, 0, 59}, {UpDownBreakH, TBreakH, 12, 14},
             {UpDownBreakM, TBreakM, 0, 59},     {UpDownBreakS, TBreakS, 0, 59},
             {UpDownEBreakH, TEBreakH, 12, 14},  {UpDownEBreakM, TEBreakM, 0, 59},
             {UpDownEBreakS, TEBreakS, 0, 59}})
        s.spin->bind(s.field, s.min, s.max);

    VSFlexGrid1 = new FileGrid(this);
    VSFlexGrid1->setObjectName(QStringLiteral("VSFlexGrid1Model"));
    GridView = Ui_FMainDate::VSFlexGrid1;
    GridView->setGrid(VSFlexGrid1);

    // Value panels: without an accessible name of their own, a screen reader reads their text.
    const QString panelTexts[2] = {QStringLiteral("Kalmora 文件时间批量修改工具"),
                                   QStringLiteral("访问主页")};
    for (int i = 0; i < 4; ++i) {
        SB1Panels[i] = new QLabel(i < 2 ? panelTexts[i] : QString(), SB1);
        SB1Panels[i]->setObjectName(QStringLiteral("SB1Panel%1").arg(i + 1));
        SB1Panels[i]->setAccessibleDescription(SB1Panels[i]->objectName());
        SB1Panels[i]->setFrameShape(QFrame::StyledPanel);
        SB1Panels[i]->setMargin(2);
        SB1->addPermanentWidget(SB1Panels[i], i == 0 ? 1 : 0);
    }
    SB1Panels[1]->setToolTip(homePage() + QStringLiteral("/Index.htm"));
    SB1Panels[1]->installEventFilter(this);
    SB1Panels[1]->setMouseTracking(true);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));

    connect(File1, &FileList::changed, this, &FMainDate::refreshCountText);
    connect(GridView, &FileGridView::pointerMoved, this,
            [this] { GridView->viewport()->setToolTip(gridToolTip()); });
    connect(VSFlexGrid1, &FileGrid::selectionMoved, this, &FMainDate::applySelectionRule);
    connect(CmdHelp, &QPushButton::clicked, this, &FMainDate::showHelp);
    // The keys desktop programs share: F1 for the help, Ctrl+Q to quit (through the question).
    connect(new QShortcut(QKeySequence::HelpContents, this), &QShortcut::activated, this,
            &FMainDate::showHelp);
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), this), &QShortcut::activated, this,
            &QWidget::close);
}

void FMainDate::load() {
    m_state.loadStarted();
    TAuthor->setText(QStringLiteral("拍摄者：") + m_services.environment.userName() +
                     QStringLiteral("。"));
    LDir->setText(m_values.WorkFolder);
    File1->setPattern(CmbFileFilter->currentText());
    File1->setPath(LDir->text());
    refreshCountText();

    const int widths[FileGrid::Cols] = {4940, 1850, 1850, 1850, 1050, 1200, 0, 0};
    const char *const headers[FileGrid::Cols] = {"文件名",     "原创建时间", "现创建时间",
                                                 "现修改时间", "现访问时间", "其他信息",
                                                 "修改时间",   "访问时间"};
    VSFlexGrid1->setRows(3);
    for (int c = 0; c < FileGrid::Cols; ++c) {
        VSFlexGrid1->setColWidth(c, widths[c]);
        VSFlexGrid1->setText(0, c, QString::fromUtf8(headers[c]));
    }
    fillSampleRows();

    m_features->timeFields->writeDefaultWindow(m_services.clock.now().date());
    UpDownYE->setMin(LeadingNumber(TStartY->text()));

    ChOnWorkTime->setChecked(false);
    refreshClock();
    m_state.loadEnded();
}

bool FMainDate::listApplied() const {
    return CmdReset->isEnabled() && !CmdFileDateMod->isEnabled();
}

QString FMainDate::pathOf(const QString &fileName) const {
    return LDir->text() + QLatin1Char('/') + fileName;
}

void FMainDate::fillSampleRows() {
    const DateTime now = m_services.clock.now();
    const DateTime sample(2011, 8, 27, 20, 11, 0);
    FileGrid &g = *VSFlexGrid1;
    g.setText(1, 0, QStringLiteral("测试文件名1.jpg"));
    g.setText(2, 0, QStringLiteral("测试文件名2.bmp"));
    for (int c = 1; c <= 3; ++c) {
        g.setText(1, c, now.toText());
        g.setText(2, c, sample.toText());
    }
    g.setText(1, 4, now.toDateText());
    g.setText(2, 4, sample.toDateText());
    g.setText(1, 5, QStringLiteral("修改成功"));
    g.setText(2, 5, QStringLiteral("修改失败"));
}

bool FMainDate::gridInSampleState() const {
    const FileGrid &g = *VSFlexGrid1;
    return g.text(1, 0) == QStringLiteral("测试文件名1.jpg") &&
           g.text(2, 0) == QStringLiteral("测试文件名2.bmp") && g.text(3, 0).isEmpty();
}

QString FMainDate::countText() const {
    return QStringLiteral("目标文件数共") + QString::number(File1->count()) +
           QStringLiteral("个。");
}

void FMainDate::refreshCountText() {
    LFilesCount->setText(countText());
}

QString FMainDate::gridToolTip() const {
    if (Option3->isChecked() && OptExif->isChecked())
        return QStringLiteral("双击当前行可以打开文件供预览。");
    return QStringLiteral("在允许下双击可以删除当前行。");
}

void FMainDate::applySelectionRule() {
    if (!Option3->isChecked())
        return;
    FileGrid &g = *VSFlexGrid1;
    int start = g.row(), end = g.rowSel();
    int startCol = g.col(), endCol = g.colSel();
    if (end < start) {
        std::swap(start, end);
        startCol = 0;
        endCol = FileGrid::Cols - 1;
    }
    if (g.text(end, 0).isEmpty() && !g.text(start, 0).isEmpty())
        end = FileCount;
    if (start <= FileCount && end > FileCount)
        end = FileCount;
    g.select(start, startCol, end, endCol);
}

void FMainDate::refreshClock() {
    const DateTime now = m_services.clock.now();
    SB1Panels[2]->setText(now.time().toString(QStringLiteral("hh:mm:ss")));
    SB1Panels[3]->setText(now.toDateText());
}

bool FMainDate::event(QEvent *event) {
    if (event->type() == QEvent::WindowActivate) {
        // Only a move between the program's own windows (a box closing, a dialog) puts the
        // focus on the start hour; back from another program, the focus stays where it was.
        if (!m_leftApplication) {
            TStartH->setSelection(0, 2);
            TStartH->setFocus(Qt::ActiveWindowFocusReason);
        }
        m_leftApplication = false;
    }
    return QMainWindow::event(event);
}

bool FMainDate::eventFilter(QObject *watched, QEvent *event) {
    if (watched == SB1Panels[1]) {
        if (event->type() == QEvent::MouseMove || event->type() == QEvent::Enter) {
            const bool buttonDown = QGuiApplication::mouseButtons() != Qt::NoButton;
            SB1Panels[1]->setCursor(buttonDown ? Qt::ArrowCursor : Qt::PointingHandCursor);
        } else if (event->type() == QEvent::MouseButtonRelease) {
            m_services.desktop.openUrl(homePage() + QStringLiteral("/Index.htm"));
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void FMainDate::closeEvent(QCloseEvent *event) {
    const MsgAnswer answer =
        m_services.prompter.show(QStringLiteral("确定退出？"), MsgIcon::Information,
                                 MsgButtons::OkCancel, QStringLiteral("消息"), MsgAnswer::Cancel);
    if (answer != MsgAnswer::Ok) {
        event->ignore();
        return;
    }
    event->accept();
    RememberMainWindowPlace(*this, m_services.settings);
    FNoticeMsg::closeNotice(); // no window of the program outlives this one
}

void FMainDate::showHelp() {
    HelpWindow help(this);
    help.exec();
}

} // namespace kalmora
