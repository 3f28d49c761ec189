#include "gui/plan/time_fields.h"

#include "gui/window/main_window.h"
#include "gui/window/up_down.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDate>
#include <QEvent>
#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRadioButton>
#include <QTimer>

#include <algorithm>

namespace kalmora {

namespace {

QString joined(std::initializer_list<const QLineEdit *> fields) {
    QString text;
    for (const QLineEdit *f : fields)
        text += f->text().trimmed();
    return text;
}

qint64 numberOf(std::initializer_list<const QLineEdit *> fields) {
    return joined(fields).toLongLong();
}

bool isLeapYear(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

QTime timeOf(const QLineEdit *h, const QLineEdit *m, const QLineEdit *s) {
    return QTime(LeadingNumber(h->text()), LeadingNumber(m->text()), LeadingNumber(s->text()));
}

} // namespace

TimeFields::TimeFields(FMainDate &window) : QObject(&window), w(window) {
    const QList<QLineEdit *> twoDigit = {
        w.TStartM,  w.TStartD,   w.TStartH,   w.TStartMin, w.TStartSec, w.TEndM,
        w.TEndD,    w.TEndH,     w.TEndMin,   w.TEndSec,   w.TOnDutyH,  w.TOnDutyM,
        w.TOnDutyS, w.TOffDutyH, w.TOffDutyM, w.TOffDutyS, w.TBreakH,   w.TBreakM,
        w.TBreakS,  w.TEBreakH,  w.TEBreakM,  w.TEBreakS};
    m_timeFields = twoDigit;
    m_timeFields << w.TStartY << w.TEndY;
    m_stepFields = {w.TStep, w.TStepS, w.TStepE};

    for (QLineEdit *f : m_timeFields) {
        f->installEventFilter(this);
        connect(f, &QLineEdit::textChanged, this, [this, f] { onTimeFieldChanged(f); });
    }
    for (QLineEdit *f : m_stepFields) {
        f->installEventFilter(this);
        f->setContextMenuPolicy(Qt::NoContextMenu); // no pasting around the key rule
    }
    connect(w.TStepS, &QLineEdit::textChanged, this,
            [this] { w.UpDownTStepE->setMin(std::min(LeadingNumber(w.TStepS->text()) + 2, 298)); });
    connect(w.TStepE, &QLineEdit::textChanged, this,
            [this] { w.UpDownTStepS->setMax(std::max(LeadingNumber(w.TStepE->text()) - 10, 1)); });
    // Each day click first fits the spinner to its own month.
    connect(w.UpDownDayS, &UpDown::aboutToStep, this,
            [this] { w.UpDownDayS->setMax(lastDay(true)); });
    connect(w.UpDownDayE, &UpDown::aboutToStep, this,
            [this] { w.UpDownDayE->setMax(lastDay(false)); });
}

bool TimeFields::makeCanonical(QLineEdit *field) {
    const QString text = field->text();
    if (text.isEmpty() || field == w.TStartY || field == w.TEndY)
        return false;
    bool digits = std::all_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); });
    if (!digits)
        return false;
    const QString canonical = QStringLiteral("%1").arg(text.toInt(), 2, 10, QLatin1Char('0'));
    if (canonical == text)
        return false;
    field->setText(canonical); // runs this handler again with the canonical text
    return true;
}

void TimeFields::onTimeFieldChanged(QLineEdit *f) {
    if (makeCanonical(f))
        return;
    const QString text = f->text();
    const int value = LeadingNumber(text);
    if (f == w.TStartM) {
        followMonth(true);
    } else if (f == w.TEndM) {
        followMonth(false);
    } else if (f == w.TStartY) {
        followMonth(true);
        w.UpDownYE->setMin(std::min(value, 2100));
    } else if (f == w.TEndY) {
        followMonth(false);
    } else if (f == w.TStartH) {
        w.UpDownOnDutyH->setMin(value);
        w.TOnDutyH->setText(text);
        if (text > w.TEndH->text())
            w.TEndH->setText(text);
    } else if (f == w.TEndH) {
        w.UpDownoffDutyH->setMax(value);
        w.TOffDutyH->setText(text);
        if (text < w.TStartH->text())
            w.TStartH->setText(text);
    } else if (f == w.TOnDutyH) {
        for (UpDown *u : {w.UpDownBreakH, w.UpDownEBreakH})
            u->setMin(u->min() > 22 ? 23 : value + 1);
        if (w.UpDownoffDutyH->min() > 22)
            w.UpDownoffDutyH->setMin(23);
        if (value >= 23)
            w.UpDownoffDutyH->setEnabled(true);
        if (text > w.TBreakH->text())
            w.TBreakH->setText(text);
        if (text > w.TOffDutyH->text())
            w.TOffDutyH->setText(text);
    } else if (f == w.TOffDutyH) {
        if (w.FormLoading)
            return;
        w.UpDownBreakH->setMax(value - 1);
        w.UpDownEBreakH->setMax(value - 1);
        if (text < w.TEBreakH->text())
            w.TEBreakH->setText(text);
        if (text < w.TOnDutyH->text())
            w.TOnDutyH->setText(text);
    } else if (f == w.TBreakH) {
        w.UpDownEBreakH->setMin(w.UpDownEBreakH->min() > 22 ? 23 : value + 1);
        if (text > w.TEBreakH->text())
            w.TEBreakH->setText(text);
    } else if (f == w.TEBreakH) {
        if (text < w.TBreakH->text())
            w.TBreakH->setText(text);
    }
}

int TimeFields::lastDay(bool start) const {
    const QString month = (start ? w.TStartM : w.TEndM)->text();
    const int year = LeadingNumber((start ? w.TStartY : w.TEndY)->text());
    if (month == QLatin1String("02"))
        return isLeapYear(year) ? 29 : 28;
    switch (LeadingNumber(month)) {
    case 1:
    case 3:
    case 5:
    case 7:
    case 8:
    case 10:
    case 12:
        return 31;
    default:
        return 30;
    }
}

void TimeFields::followMonth(bool start) {
    UpDown *spinner = start ? w.UpDownDayS : w.UpDownDayE;
    QLineEdit *day = start ? w.TStartD : w.TEndD;
    const int last = lastDay(start);
    spinner->setMax(last);
    if (LeadingNumber(day->text()) > last)
        day->setText(QString::number(last));
}

bool TimeFields::validateStep(QLineEdit *field) {
    const int n = LeadingNumber(field->text());
    if (m_validating || (n >= 1 && n <= 300))
        return true;
    // The box takes the activation, which leaves the field once more: checked once.
    m_validating = true;
    w.services().prompter.show(QStringLiteral("范围：1—300，请在此区间指定。"),
                               MsgIcon::Information, MsgButtons::Ok, QStringLiteral("提醒"));
    m_validating = false;
    const QString designText = field == w.TStep    ? QStringLiteral("1")
                               : field == w.TStepS ? QStringLiteral("10")
                                                   : QStringLiteral("90");
    field->setText(designText);
    field->selectAll();
    // Leaving the field is cancelled: the focus goes back once the move has finished.
    QTimer::singleShot(0, field, [field] {
        field->setFocus(Qt::OtherFocusReason);
        field->selectAll();
    });
    return false;
}

bool TimeFields::filterCommit(QLineEdit *field, bool isStep, QEvent *event) {
    auto *input = static_cast<QInputMethodEvent *>(event);
    const QString committed = input->commitString();
    if (committed.isEmpty())
        return false;
    QString digits;
    if (isStep) {
        for (const QChar c : committed) {
            if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
                digits += c;
        }
    }
    if (digits.size() == committed.size())
        return false;
    w.services().prompter.beep();
    // What passes goes in as if typed; the composition stays as the input method shows it.
    QInputMethodEvent kept(input->preeditString(), input->attributes());
    kept.setCommitString(digits, input->replacementStart(), input->replacementLength());
    QCoreApplication::sendEvent(field, &kept);
    return true;
}

bool TimeFields::eventFilter(QObject *watched, QEvent *event) {
    auto *field = qobject_cast<QLineEdit *>(watched);
    if (!field)
        return false;
    const bool isStep = m_stepFields.contains(field);
    if (event->type() == QEvent::InputMethod)
        return filterCommit(field, isStep, event);
    if (event->type() == QEvent::ShortcutOverride && isStep) {
        // A button's shortcut acts without the focus leaving the field: check it first, and an
        // invalid step stops the shortcut.
        auto *key = static_cast<QKeyEvent *>(event);
        if ((key->modifiers() & Qt::AltModifier) && !validateStep(field)) {
            m_swallowShortcut = true;
            event->accept(); // the key goes to the field instead, which drops it
            return true;
        }
        return false;
    }
    if (event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (m_swallowShortcut) {
            m_swallowShortcut = false;
            return true;
        }
        if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab)
            return false;
        const QString text = key->text();
        // Delete is refused like any key but a digit or Backspace, whether or not the platform
        // gives it a text (X11: U+007F).
        if (text.isEmpty() && key->key() != Qt::Key_Delete)
            return false; // arrows, Home, End: no character typed
        if (isStep &&
            (key->key() == Qt::Key_Backspace ||
             (text.size() == 1 && text[0] >= QLatin1Char('0') && text[0] <= QLatin1Char('9'))))
            return false;
        w.services().prompter.beep();
        return true;
    }
    if (!isStep)
        return false;
    if (event->type() == QEvent::FocusIn) {
        QTimer::singleShot(0, field, [field] { field->setSelection(0, 4); });
        field->setSelection(0, 4);
    } else if (event->type() == QEvent::FocusOut) {
        // Leaving the field checks it, also when the window loses the activation (another
        // program, a box): the value must not outlive the visit unchecked.
        if (static_cast<QFocusEvent *>(event)->reason() != Qt::PopupFocusReason)
            validateStep(field);
    }
    return false;
}

qint64 TimeFields::startNumber() const {
    return numberOf({w.TStartY, w.TStartM, w.TStartD, w.TStartH, w.TStartMin, w.TStartSec});
}
qint64 TimeFields::endNumber() const {
    return numberOf({w.TEndY, w.TEndM, w.TEndD, w.TEndH, w.TEndMin, w.TEndSec});
}
qint64 TimeFields::startTimeNumber() const {
    return numberOf({w.TStartH, w.TStartMin, w.TStartSec});
}
qint64 TimeFields::endTimeNumber() const {
    return numberOf({w.TEndH, w.TEndMin, w.TEndSec});
}
qint64 TimeFields::onDutyNumber() const {
    return numberOf({w.TOnDutyH, w.TOnDutyM, w.TOnDutyS});
}
qint64 TimeFields::offDutyNumber() const {
    return numberOf({w.TOffDutyH, w.TOffDutyM, w.TOffDutyS});
}
qint64 TimeFields::breakStartNumber() const {
    return numberOf({w.TBreakH, w.TBreakM, w.TBreakS});
}
qint64 TimeFields::breakEndNumber() const {
    return numberOf({w.TEBreakH, w.TEBreakM, w.TEBreakS});
}

void TimeFields::writeDefaultWindow(const QDate &today) {
    const QDate tomorrow = today.addDays(1);
    auto two = [](int v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); };
    w.TStartY->setText(QString::number(today.year()));
    w.TStartM->setText(two(today.month()));
    w.TStartD->setText(two(today.day()));
    w.TStartH->setText(QStringLiteral("08"));
    w.TStartMin->setText(QStringLiteral("00"));
    w.TStartSec->setText(QStringLiteral("00"));
    w.TEndY->setText(QString::number(tomorrow.year()));
    w.TEndM->setText(two(tomorrow.month()));
    w.TEndD->setText(two(tomorrow.day()));
    w.TEndH->setText(QStringLiteral("18"));
    w.TEndMin->setText(QStringLiteral("00"));
    w.TEndSec->setText(QStringLiteral("00"));
}

void TimeFields::writeDutyDefaults() {
    const QStringList texts = {"08", "00", "00", "18", "00", "00"};
    qsizetype i = 0;
    for (QLineEdit *f : {w.TOnDutyH, w.TOnDutyM, w.TOnDutyS, w.TOffDutyH, w.TOffDutyM, w.TOffDutyS})
        f->setText(texts[i++]);
}

void TimeFields::writeBreakDefaults() {
    const QStringList texts = {"12", "00", "00", "14", "00", "00"};
    qsizetype i = 0;
    for (QLineEdit *f : {w.TBreakH, w.TBreakM, w.TBreakS, w.TEBreakH, w.TEBreakM, w.TEBreakS})
        f->setText(texts[i++]);
}

TimeWindow TimeFields::timeWindow() const {
    TimeWindow t;
    auto dateTime = [](const QLineEdit *y, const QLineEdit *mo, const QLineEdit *d,
                       const QLineEdit *h, const QLineEdit *mi, const QLineEdit *s, bool dateOnly) {
        QString text = y->text().trimmed() + QLatin1Char('-') + mo->text().trimmed() +
                       QLatin1Char('-') + d->text().trimmed();
        if (!dateOnly)
            text += QLatin1Char(' ') + h->text() + QLatin1Char(':') + mi->text() +
                    QLatin1Char(':') + s->text();
        return DateTime::parse(text).value_or(DateTime());
    };
    t.workingHoursOnly = w.ChOnWorkTime->isChecked();
    // With working hours the dates count alone; the duty hours give the times of day.
    t.start = dateTime(w.TStartY, w.TStartM, w.TStartD, w.TStartH, w.TStartMin, w.TStartSec,
                       t.workingHoursOnly);
    t.end = dateTime(w.TEndY, w.TEndM, w.TEndD, w.TEndH, w.TEndMin, w.TEndSec, t.workingHoursOnly);
    t.unit = w.OptMin->isChecked() ? TimeWindow::Unit::Minutes : TimeWindow::Unit::Seconds;
    t.stepMode =
        w.Option2->isChecked() ? TimeWindow::StepMode::Random : TimeWindow::StepMode::Fixed;
    t.step = LeadingNumber(w.TStep->text());
    t.randomLower = LeadingNumber(w.TStepS->text());
    t.randomUpper = LeadingNumber(w.TStepE->text());
    t.onDuty = timeOf(w.TOnDutyH, w.TOnDutyM, w.TOnDutyS);
    t.offDuty = timeOf(w.TOffDutyH, w.TOffDutyM, w.TOffDutyS);
    t.breakCountsAsWork = w.ChExclude->isChecked();
    t.breakStart = timeOf(w.TBreakH, w.TBreakM, w.TBreakS);
    t.breakEnd = timeOf(w.TEBreakH, w.TEBreakM, w.TEBreakS);
    return t;
}

} // namespace kalmora
