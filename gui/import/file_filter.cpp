#include "gui/import/file_filter.h"

#include "core/import/file_list.h"
#include "core/platform/app_values.h"
#include "gui/import/folder_choice.h"
#include "gui/window/features.h"
#include "gui/window/main_window.h"
#include "gui/window/reset.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <algorithm>

namespace kalmora {

namespace {
const QString Refused = QStringLiteral("~`!@#$%^&()-+={}[]|\\:;'\"<>?,/. ");
const QString ErrorTitle = QStringLiteral("错误——非法文件类型");
} // namespace

FileFilter::FileFilter(FMainDate &window)
    : QObject(&window), w(window), m_acceptedPattern(FMainDate::defaultPattern()) {
    QLineEdit *edit = w.CmbFileFilter->lineEdit();
    // The box forwards focus and keys to its line edit by direct calls, which pass no event
    // filter; so both are watched, whichever receives the event.
    edit->installEventFilter(this);
    w.CmbFileFilter->installEventFilter(this);
    edit->setContextMenuPolicy(Qt::NoContextMenu); // pasting is refused
    connect(w.CmbFileFilter, &QComboBox::editTextChanged, this, &FileFilter::textChanged);
    connect(w.CmbFileFilter, &QComboBox::activated, this, &FileFilter::listPicked);
    connect(w.ChPatternDefault, &QCheckBox::toggled, this, &FileFilter::defaultClicked);
    connect(w.CmdFileExt, &QPushButton::clicked, this, &FileFilter::sampleFileClicked);
}

void FileFilter::textChanged(const QString &text) {
    w.File1->setPattern(text);
    if (w.FileCount > 0) {
        w.state().clearingResetStarted();
        w.features().reset->resetClicked();
        w.state().resetDone();
    }
}

void FileFilter::listPicked() {
    if (w.Busy) {
        w.services().prompter.beep();
        return;
    }
    w.File1->setPattern(w.CmbFileFilter->currentText());
}

void FileFilter::defaultClicked(bool checked) {
    if (checked) {
        w.CmbFileFilter->setEditText(FMainDate::defaultPattern());
        w.File1->setPattern(w.CmbFileFilter->currentText());
    }
    w.CmbFileFilter->setEnabled(!checked);
    w.CmdFileExt->setEnabled(!checked);
}

QString FileFilter::typedCharacter(const QString &t, const QString &c, bool wholeTextSelected) {
    if (t.isEmpty())
        return QStringLiteral("*");
    if (t.size() == 1)
        return QStringLiteral(".");
    if (t.size() <= 11) {
        if (c.size() == 1 && Refused.contains(c[0]))
            return {};
        if (c == QLatin1String("*") && t.size() >= 3)
            return {};
        return c;
    }
    if (c == QLatin1String("\b") && wholeTextSelected)
        return QStringLiteral("*");
    return c == QLatin1String("\b") ? c : QString();
}

QString FileFilter::validationMessage(const QString &text, const QString &acceptedPattern) {
    // An empty text is never a pattern, though it "occurs" in any text.
    if (!text.isEmpty() && acceptedPattern.contains(text.toLower()))
        return {};
    if (text.isEmpty())
        return QStringLiteral("错误：文件类型过滤标识不能为空！重新检查输入！");
    if (text.size() < 3)
        return QStringLiteral("错误：文件类型过滤标识字符长度少于3个！重新检查输入！");
    if (!text.startsWith(QLatin1String("*.")))
        return QStringLiteral("错误：文件类型过滤标识必须以 “*.”开头！重新检查输入！");
    if (text.size() > 12 && text != acceptedPattern)
        return QStringLiteral("错误：文件类型过滤标识太长，超出10个字符限制！重新检查输入！");
    if (text.indexOf(QLatin1Char('.'), 2) >= 0 || text.indexOf(QLatin1Char('*'), 3) >= 0)
        return QStringLiteral(
            "错误：文件类型过滤标识从第3个字符起，不允许出现“.”或“*”！重新检查输入！");
    return {};
}

bool FileFilter::validate() {
    const QString text = w.CmbFileFilter->currentText();
    const QString message = validationMessage(text, m_acceptedPattern);
    if (message.isEmpty() || m_validating)
        return true;
    // The box takes the activation, which leaves the field once more: checked once.
    m_validating = true;
    w.services().prompter.show(message, MsgIcon::Critical, MsgButtons::Ok, ErrorTitle);
    m_validating = false;
    QLineEdit *edit = w.CmbFileFilter->lineEdit();
    w.CmbFileFilter->setEditText(QStringLiteral("*."));
    const bool selectExtension = text.size() > 2;
    edit->setCursorPosition(2);
    if (selectExtension)
        edit->setSelection(2, 12);
    QTimer::singleShot(0, edit, [this, edit] {
        w.CmbFileFilter->setFocus(Qt::OtherFocusReason);
        edit->setCursorPosition(2);
    });
    return false;
}

bool FileFilter::eventFilter(QObject *watched, QEvent *event) {
    QLineEdit *edit = w.CmbFileFilter->lineEdit();
    if (watched != edit && watched != w.CmbFileFilter)
        return false;
    switch (event->type()) {
    case QEvent::FocusIn:
        if (edit->text().contains(QLatin1String("*.")))
            QTimer::singleShot(0, edit, [edit] { edit->setSelection(2, 12); });
        return false;
    case QEvent::FocusOut:
        // Also when the window loses the activation; the box's own list popping up is no leaving.
        if (static_cast<QFocusEvent *>(event)->reason() != Qt::PopupFocusReason)
            validate();
        return false;
    case QEvent::InputMethod:
        return commitTyped(static_cast<QInputMethodEvent *>(event));
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
        // A middle click would paste the selection: refused like Ctrl+V.
        if (static_cast<QMouseEvent *>(event)->button() == Qt::MiddleButton) {
            w.services().prompter.beep();
            return true;
        }
        return false;
    case QEvent::KeyPress: {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->matches(QKeySequence::Paste)) {
            w.services().prompter.beep();
            return true;
        }
        QString c = key->text();
        if (key->key() == Qt::Key_Backspace)
            c = QStringLiteral("\b");
        // Delete (U+007F on X11), Return, Escape, Tab and the other control characters are no
        // typed characters: the line edit handles them as in any text box.
        else if (c.isEmpty() || std::any_of(c.begin(), c.end(), [](QChar ch) {
                     return ch.category() == QChar::Other_Control;
                 }))
            return false;
        return typed(c);
    }
    default:
        return false;
    }
}

bool FileFilter::typed(const QString &c) {
    QLineEdit *edit = w.CmbFileFilter->lineEdit();
    m_acceptedPattern = QStringLiteral("1");
    const QString t = edit->text();
    const bool whole = edit->hasSelectedText() && edit->selectedText() == t;
    const QString taken = typedCharacter(t, c, whole);
    if (taken.isEmpty()) {
        w.services().prompter.beep();
        return true;
    }
    if (taken == QLatin1String("\b"))
        return false; // an ordinary Backspace
    edit->insert(taken);
    return true;
}

bool FileFilter::commitTyped(QInputMethodEvent *event) {
    const QString committed = event->commitString();
    if (committed.isEmpty())
        return false;
    // Each committed character goes through the rules of a typed one.
    for (const QChar c : committed) {
        if (c.category() == QChar::Other_Control) {
            w.services().prompter.beep();
            continue;
        }
        typed(QString(c));
    }
    if (!event->preeditString().isEmpty()) {
        QInputMethodEvent composing(event->preeditString(), event->attributes());
        QCoreApplication::sendEvent(w.CmbFileFilter->lineEdit(), &composing);
    }
    return true;
}

void FileFilter::sampleFileClicked() {
    w.OptAll->setChecked(true);
    const bool photos = w.OptExif->isChecked() || w.OptRename->isChecked();
    const QString filter =
        photos ? QStringLiteral("数码照片(*.jpg,*.tif) (*.jpg *.jpeg *.jpe *.tiff *.tif)")
               : QStringLiteral("所有文件(*.*) (*);;默认图片文件 (*.jpeg *.jpe *.jpg *.bmp *.gif "
                                "*.tif *.tiff)");
    for (;;) {
        const QString file =
            w.services().fileDialogs.chooseOpenFile(QString(), w.LDir->text(), filter);
        if (file.isEmpty()) {
            w.ChPatternDefault->setChecked(false);
            return;
        }
        const QString folder = file.left(file.lastIndexOf(QLatin1Char('/')));
        if (folder.toLower().contains(QLatin1String("windows")) ||
            IsSystemFolder(folder, w.values())) {
            const MsgAnswer a = w.services().prompter.show(
                QStringLiteral("不允许操作系统目录，请重新指定其他目录中的同类文件！"),
                MsgIcon::Warning, MsgButtons::RetryCancel, QStringLiteral("提醒"));
            if (a == MsgAnswer::Retry)
                continue;
            return;
        }
        w.features().reset->chooseFolder(folder);
        w.File1->setPath(folder);
        const QString tail = file.right(12);
        const qsizetype dot = tail.lastIndexOf(QLatin1Char('.'));
        if (dot < 0) {
            w.services().prompter.show(
                QStringLiteral(
                    "文件名太长或含异常字符导致获取文件类型失败！\r\n"
                    "文件名过长已引起系统错误，程序将马上退出,请重启程序后换名重新指定。"),
                MsgIcon::Critical, MsgButtons::Ok, QStringLiteral("出错了"));
            w.close(); // the close confirmation still asks
            w.ChPatternDefault->setChecked(false);
            return;
        }
        const QString pattern = QStringLiteral("*.") + tail.mid(dot + 1);
        w.CmbFileFilter->setEditText(pattern); // runs textChanged, which may reset
        w.File1->setPattern(pattern);
        w.ChPatternDefault->setChecked(false);
        return;
    }
}

} // namespace kalmora
