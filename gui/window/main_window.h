#pragma once

#include "core/import/file_list.h"
#include "core/platform/app_values.h"
#include "core/platform/services.h"

#include "gui/window/change_label.h"
#include "gui/window/window_state.h"
#include "ui_main_window.h"

#include <QLabel>
#include <QMainWindow>

#include <memory>

class QCheckBox;
class QComboBox;
class QGroupBox;

class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QStatusBar;
class QTimer;

namespace kalmora {

class FileGrid;
class FileGridView;
class FileList;
class UpDown;
struct Features;

// The main window. Its controls come from the form main_window.ui, each under its own name
// (member and objectName); the window keeps the flags and runs its own load, close and status
// handlers. Feature areas attach to it and own the handlers of their controls.
class FMainDate : public QMainWindow, public Ui_FMainDate {
    Q_OBJECT
public:
    FMainDate(Services &services, const AppValues &values, QWidget *parent = nullptr);
    ~FMainDate() override;

    Services &services() const { return m_services; }
    const AppValues &values() const { return m_values; }
    Features &features() const { return *m_features; }

    // After an apply, until the user resets everything: the reset is on and the apply is off.
    bool listApplied() const;
    // The folder path joined with a file name of the grid.
    QString pathOf(const QString &fileName) const;

    // The home page of the status bar's link.
    static QString homePage();
    // The picture types the file-type box starts with and returns to.
    static QString defaultPattern() { return DefaultPicturePattern(); }

    // Texts of the date-time and count forms used on this window.
    QString countText() const;
    void refreshCountText();
    QString gridToolTip() const;
    // True while the grid shows the two sample rows and nothing else.
    bool gridInSampleState() const;
    // Writes the file-time mode's sample rows (now = the clock's time).
    void fillSampleRows();

    // A stage button's marker ("1" open, "-1" fixed) and any other control's tag.
    static QString tag(const QObject *control);
    static void setTag(QObject *control, const QString &value);

    // The window's state, changed only through its operations.
    WindowState &state() { return m_state; }

private:
    WindowState m_state;

public:
    // The same state read-only, under the names the handlers know it by.
    const int &FileCount = m_state.FileCount;
    const bool &Busy = m_state.Busy;
    const bool &OperationRunning = m_state.OperationRunning;
    const bool &ApplyRunning = m_state.ApplyRunning;
    const bool &ClearOnReset = m_state.ClearOnReset;
    const bool &FormLoading = m_state.FormLoading;
    const int &ExifRow = m_state.ExifRow;
    const bool &RewriteRunning = m_state.RewriteRunning;

    // The controls that a form cannot hold.
    FileList *File1;
    // The grid's rows; the form's VSFlexGrid1 is the view that shows them.
    FileGrid *VSFlexGrid1;
    FileGridView *GridView;
    QLabel *SB1Panels[4];
    QTimer *Timer1;

signals:
    // The grid's row preview (caption and author of the current photo) is wanted now.
    void rowPreviewRequested();

protected:
    bool event(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void completeControls();
    void load();
    void applySelectionRule();
    void refreshClock();
    void showHelp();

    Services &m_services;
    AppValues m_values;
    QTimer *m_clockTimer;
    std::unique_ptr<Features> m_features;
    // The application had no active window since this one was last active: the user was in
    // another program.
    bool m_leftApplication = false;
};

} // namespace kalmora
