#pragma once

#include <QDialog>

namespace kalmora {

// The usage instructions, shown modally from the main window.
class HelpWindow : public QDialog {
    Q_OBJECT
public:
    explicit HelpWindow(QWidget *parent = nullptr);
    static QString helpText();
};

} // namespace kalmora
