#pragma once

#include <QObject>

namespace kalmora {

class FMainDate;

// CmdReset, CmdClear and the folder change: they bring the window back to a state from which a
// new import can start; a full reset (ClearOnReset) also clears the grid and the field values.
class Reset : public QObject {
    Q_OBJECT
public:
    explicit Reset(FMainDate &window);

    void resetClicked();
    void clearClicked();
    void folderChanged(const QString &text);
    // A folder chosen by the user (dialog, FDir, sample file): the folder change runs even when
    // the label already shows it.
    void chooseFolder(const QString &path);

    // The grid's header row after a full reset, by mode.
    void writeResetHeaders();

private:
    void fullReset();
    void resetWithClear();

    FMainDate &w;
};

} // namespace kalmora
