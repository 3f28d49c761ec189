#pragma once

#include "core/journal/journal.h"
#include "ui_history_window.h"

#include <QDialog>
#include <QObject>

namespace kalmora {

class FMainDate;
struct Services;

// The journal's batches, newest first, with the undo of the selected one and what it skipped.
// The controls come from the form history_window.ui.
class FHistory : public QDialog, public Ui_FHistory {
    Q_OBJECT
public:
    explicit FHistory(Services &services, QWidget *parent = nullptr);

    // Reads the batches again.
    void refresh();
    // Where the journal lives, what it keeps, and whether it records at all.
    void showJournal();
    // The selected batch's id; 0 for none.
    qint64 selectedBatch() const;
    void undoClicked();
    bool restoring() const { return m_restoring; }

protected:
    // Escape and the window's close button stop a restore instead of leaving it unseen.
    void reject() override;

private:
    JournalConfig config() const;
    void setRestoring(bool restoring);

    Services &m_services;
    bool m_restoring = false;
};

// CmdHistory: opens the history window, but not while a batch runs.
class History : public QObject {
    Q_OBJECT
public:
    explicit History(FMainDate &window);
    void historyClicked();

private:
    FMainDate &w;
};

} // namespace kalmora
