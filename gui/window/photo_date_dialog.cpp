#include "gui/window/photo_date_dialog.h"

#include "gui/window/main_window.h"
#include "gui/window/up_down.h"

#include <QApplication>
#include <QCheckBox>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace kalmora {

namespace {

// What each unit option sets: unit text, the three upper limits and the three amounts.
struct UnitRow {
    ShiftUnit unit;
    const char *text;
    int stepMax, startMax, endMax;
    int step, start, end;
};
constexpr UnitRow UnitTable[] = {
    {ShiftUnit::Year, "年。", 10, 5, 10, 1, 1, 5},
    {ShiftUnit::Month, "月。", 12, 6, 12, 1, 1, 6},
    {ShiftUnit::Day, "天。", 30, 10, 30, 5, 3, 10},
    {ShiftUnit::Hour, "小时。", 23, 10, 23, 3, 1, 10},
    {ShiftUnit::Minute, "分钟。", 59, 10, 59, 10, 5, 30},
    {ShiftUnit::Second, "秒。", 59, 10, 59, 10, 1, 30},
};

const QString CrLf = QStringLiteral("\r\n");

} // namespace

FPhotoDate::FPhotoDate(Services &services, QWidget *parent)
    : QDialog(parent), m_services(services) {
    setupUi(this);
    completeControls();
    load();
}

std::optional<PhotoDateSettings> FPhotoDate::ask(Services &services, QWidget *parent, bool videos) {
    FPhotoDate dialog(services, parent);
    // A video has no Exif dates; a movie may record dates of its own.
    dialog.ChAllDates->setVisible(!videos);
    dialog.ChVideoInside->setVisible(videos);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.exec();
    if (dialog.cancelled())
        return std::nullopt;
    return dialog.settings();
}

void FPhotoDate::completeControls() {
    TStart->setMinimumWidth(
        TStart->fontMetrics().horizontalAdvance(QStringLiteral("0000-00-00 00:00:00")) + 16);
    TStart->installEventFilter(this);
    // The limits until a unit is chosen: those of days, the unit selected at the start.
    UpDownTStep->bind(TStep, 1, 30);
    UpDownTStepS->bind(TStepS, 1, 10);
    UpDownTStepE->bind(TStepE, 10, 30);

    // Connected after the start state is set: the start values are not those of a click.
    connect(ChNew, &QCheckBox::toggled, this, &FPhotoDate::chNewClicked);
    connect(ChFor, &QCheckBox::toggled, this, &FPhotoDate::chForClicked);
    connect(Option1, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            option1Clicked();
    });
    connect(Option2, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            option2Clicked();
    });
    const std::pair<QRadioButton *, ShiftUnit> units[] = {
        {OptYear, ShiftUnit::Year}, {OptMon, ShiftUnit::Month},  {OptDay, ShiftUnit::Day},
        {OptHour, ShiftUnit::Hour}, {OptMin, ShiftUnit::Minute}, {OptSec, ShiftUnit::Second}};
    for (const auto &[button, unit] : units) {
        connect(button, &QRadioButton::toggled, this, [this, unit](bool on) {
            if (on)
                unitClicked(unit);
        });
    }
    // A lasting choice: the dialog opens with what the user chose last time.
    ChAllDates->setChecked(AllExifDatesChosen(m_services.settings));
    connect(ChAllDates, &QCheckBox::toggled, this,
            [this](bool on) { RememberAllExifDates(m_services.settings, on); });
    ChVideoInside->setChecked(
        m_services.settings.value(QStringLiteral("Options"), QStringLiteral("VideoInsideDates")) ==
        QStringLiteral("1"));
    connect(ChVideoInside, &QCheckBox::toggled, this, [this](bool on) {
        m_services.settings.setValue(QStringLiteral("Options"), QStringLiteral("VideoInsideDates"),
                                     on ? QStringLiteral("1") : QStringLiteral("0"));
    });
    connect(CmdOk, &QPushButton::clicked, this, &FPhotoDate::okClicked);
    connect(CmdCancel, &QPushButton::clicked, this, &FPhotoDate::cancelClicked);
}

void FPhotoDate::load() {
    FMainDate::setTag(CmdCancel, QStringLiteral("0"));
    m_done = false;
    TStart->setText(m_services.clock.now().toText());
}

bool FPhotoDate::cancelled() const {
    return FMainDate::tag(CmdCancel) == QStringLiteral("1");
}

PhotoDateSettings FPhotoDate::settings() const {
    PhotoDateSettings s;
    s.newStart = ChNew->isChecked();
    s.startText = TStart->text();
    s.randomShift = Option2->isChecked();
    s.stepText = TStep->text();
    s.stepStartText = TStepS->text();
    s.stepEndText = TStepE->text();
    s.unitText = Label2->text();
    s.earlier = ChFor->isChecked();
    s.allDates = ChAllDates->isChecked();
    s.recordedToo = ChVideoInside->isVisibleTo(this) && ChVideoInside->isChecked();
    const std::pair<QRadioButton *, ShiftUnit> units[] = {
        {OptYear, ShiftUnit::Year}, {OptMon, ShiftUnit::Month},  {OptDay, ShiftUnit::Day},
        {OptHour, ShiftUnit::Hour}, {OptMin, ShiftUnit::Minute}, {OptSec, ShiftUnit::Second}};
    s.unit = ShiftUnit::Second;
    for (const auto &[button, unit] : units) {
        if (button->isChecked())
            s.unit = unit;
    }
    return s;
}

void FPhotoDate::fillStartWithNow() {
    TStart->setText(m_services.clock.now().toText());
    TStart->setSelection(0, 20);
    TStart->setFocus();
}

void FPhotoDate::chNewClicked() {
    if (ChNew->isChecked()) {
        Frame1->setTitle(QStringLiteral("时间递增单位："));
        OptSec->setChecked(true); // runs unitClicked
        ChFor->setEnabled(false);
        ChFor->setChecked(true); // runs chForClicked
        TStart->setEnabled(true);
        fillStartWithNow();
    } else {
        Frame1->setTitle(QStringLiteral("时间位移单位："));
        OptDay->setChecked(true); // runs unitClicked
        ChFor->setEnabled(true);
        ChFor->setChecked(true); // runs chForClicked
        TStart->setEnabled(false);
    }
}

void FPhotoDate::chForClicked() {
    Chback->setChecked(!ChFor->isChecked());
}

void FPhotoDate::option1Clicked() {
    ChNew->setEnabled(true);
    ChNew->setChecked(false); // runs chNewClicked when it was checked
}

void FPhotoDate::option2Clicked() {
    ChNew->setEnabled(false);
    ChNew->setChecked(false); // runs chNewClicked when it was checked
}

void FPhotoDate::unitClicked(ShiftUnit unit) {
    for (const UnitRow &row : UnitTable) {
        if (row.unit != unit)
            continue;
        Label2->setText(QString::fromUtf8(row.text));
        Label3->setText(QString::fromUtf8(row.text));
        UpDownTStep->setMax(row.stepMax);
        UpDownTStepS->setMax(row.startMax);
        UpDownTStepE->setMax(row.endMax);
        UpDownTStepE->setMin(row.startMax);
        TStep->setText(QString::number(row.step));
        TStepS->setText(QString::number(row.start));
        TStepE->setText(QString::number(row.end));
    }
}

FPhotoDate::StartCheck FPhotoDate::validateStart() {
    if (!ChNew->isChecked() || m_validating || IsValidStartText(TStart->text()))
        return StartCheck::Valid;
    m_validating = true;
    const MsgAnswer answer =
        m_services.prompter.show(QStringLiteral("非法起始日期时间，请修正！样式及范围：") + CrLf +
                                     QStringLiteral("1900-00-00 00:00:00—2200-00-00 00:00:00"),
                                 MsgIcon::Critical, MsgButtons::RetryCancel);
    m_validating = false;
    if (answer == MsgAnswer::Cancel) {
        // Option1 is already selected whenever ChNew can be checked: run its handler anyway.
        if (Option1->isChecked())
            option1Clicked();
        else
            Option1->setChecked(true); // runs option1Clicked
        return StartCheck::FixedShiftShown;
    }
    fillStartWithNow();
    return StartCheck::Retry;
}

bool FPhotoDate::eventFilter(QObject *watched, QEvent *event) {
    if (watched == TStart) {
        switch (event->type()) {
        case QEvent::FocusIn:
        case QEvent::MouseButtonDblClick:
            TStart->setSelection(0, 20);
            return event->type() == QEvent::MouseButtonDblClick;
        case QEvent::FocusOut: {
            // Leaving the field for another control validates it; a box or another window
            // taking the focus does not. Nor does a press on CmdOk: its click checks the field
            // itself and must not go on with values the check just changed.
            const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
            if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason &&
                QApplication::focusWidget() != CmdOk)
                validateStart();
            break;
        }
        default:
            break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void FPhotoDate::okClicked() {
    // The check runs here as well (a key may press OK without leaving the field). After Cancel
    // the dialog shows other values than the user chose: it stays open for a look and a new OK.
    if (validateStart() != StartCheck::Valid)
        return;
    hide();
    m_done = true;
    QDialog::accept();
}

void FPhotoDate::cancelClicked() {
    FMainDate::setTag(CmdCancel, QStringLiteral("1"));
    hide();
    m_done = true;
    QDialog::reject();
}

void FPhotoDate::reject() {
    cancelClicked();
}

} // namespace kalmora
