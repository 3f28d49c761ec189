#pragma once

#include <QObject>

class QInputMethodEvent;

namespace kalmora {

class FMainDate;

// The file-type box CmbFileFilter, ChPatternDefault and the sample-file button CmdFileExt.
class FileFilter : public QObject {
    Q_OBJECT
public:
    explicit FileFilter(FMainDate &window);

    // "1" once the user has typed into the box; the default pattern until then.
    QString acceptedPattern() const { return m_acceptedPattern; }

    void textChanged(const QString &text);
    void defaultClicked(bool checked);
    void sampleFileClicked();

    // The character the box takes for a key typed into text t; empty when it is refused.
    // Backspace is "\b".
    static QString typedCharacter(const QString &t, const QString &c, bool wholeTextSelected);
    // The message that refuses a pattern on leaving the box; empty when it passes.
    static QString validationMessage(const QString &text, const QString &acceptedPattern);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void listPicked();
    bool validate();
    // One character typed into the box (Backspace as "\b"): the typing rule, then inserted,
    // refused with the beep, or left to the line edit; true when the key is dealt with here.
    bool typed(const QString &c);
    // An input method's commit, character by character as if typed.
    bool commitTyped(QInputMethodEvent *event);

    FMainDate &w;
    QString m_acceptedPattern;
    bool m_validating = false; // the message of a check is open
};

} // namespace kalmora
