#pragma once

#include "app/startup.h"
#include "platform/services.h"

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

// A label whose text change runs a handler, like the other controls.
class ChangeLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
    void setText(const QString &text);

signals:
    void textChanged(const QString &text);
};

// The main window. It creates every control under its own name (member and objectName), keeps
// the window flags, and runs its own load, close and status handlers. Feature areas attach to it
// and own the handlers of their controls.
class FMainDate : public QMainWindow {
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
    static QString defaultPattern() {
        return QStringLiteral("*.jpeg;*.jpe;*.jpg;*.bmp;*.gif;*.tif;*.tiff");
    }

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

    // Window state shared by all handlers.
    int FileCount = 0;
    bool Busy = false;
    bool OperationRunning = false;
    bool ApplyRunning = false;
    bool ClearOnReset = false;
    bool FormLoading = false;
    int ExifRow = 0;
    bool RewriteRunning = false;

    // Folder
    QLabel *Label1;
    ChangeLabel *LDir;
    QPushButton *CmdDirBrowse;
    // File type
    QLabel *Label4;
    QComboBox *CmbFileFilter;
    QCheckBox *ChPatternDefault;
    QPushButton *CmdFileExt;
    FileList *File1;
    QLabel *LFilesCount;
    // Mode
    QGroupBox *Frame5;
    QRadioButton *OptDate;
    QRadioButton *OptExif;
    QRadioButton *OptRename;
    QCheckBox *ChPgDn;
    // Times to change
    QGroupBox *Frame6;
    QRadioButton *OptCreate;
    QRadioButton *OptModTime;
    QRadioButton *OptAccessDate;
    QRadioButton *OptAll;
    // Time window
    QGroupBox *Frame3;
    QLabel *Label5, *Label9, *Label6;
    QLineEdit *TStartY, *TStartM, *TStartD, *TStartH, *TStartMin, *TStartSec;
    QLineEdit *TEndY, *TEndM, *TEndD, *TEndH, *TEndMin, *TEndSec;
    UpDown *UpDownYS, *UpDownMonS, *UpDownDayS, *UpDownYHS, *UpDownMinS, *UpDown2;
    UpDown *UpDownYE, *UpDownMonE, *UpDownDayE, *UpDownYHE, *UpDown1, *UpDown3;
    // Time unit
    QGroupBox *Frame1;
    QRadioButton *OptSec, *OptMin, *OptHour, *OptDay;
    // Step
    QLabel *Label18;
    QRadioButton *Option1;
    QLineEdit *TStep;
    UpDown *UpDownTStep;
    QRadioButton *Option2;
    QLineEdit *TStepS;
    UpDown *UpDownTStepS;
    QLabel *Label20;
    QLineEdit *TStepE;
    UpDown *UpDownTStepE;
    QLabel *Label19, *Label21;
    QRadioButton *Option3;
    // Working hours
    QGroupBox *Frame4;
    QLineEdit *TOnDutyH, *TOnDutyM, *TOnDutyS, *TOffDutyH, *TOffDutyM, *TOffDutyS;
    UpDown *UpDownOnDutyH, *UpDownOnDutyM, *UpDownOnDutyS;
    UpDown *UpDownoffDutyH, *UpDownOffDutyM, *UpDownOffDutyS;
    QLabel *Label14, *Label11, *Label12;
    QCheckBox *ChOnWorkTime;
    QPushButton *CmdTimeOnOffDuty, *CmdResetWork;
    // Lunch break
    QGroupBox *Frame2;
    QLineEdit *TBreakH, *TBreakM, *TBreakS, *TEBreakH, *TEBreakM, *TEBreakS;
    UpDown *UpDownBreakH, *UpDownBreakM, *UpDownBreakS;
    UpDown *UpDownEBreakH, *UpDownEBreakM, *UpDownEBreakS;
    QLabel *Label17, *Label15, *Label16;
    QCheckBox *ChExclude;
    QPushButton *CmdWordBreakTime, *CmdResetB;
    // Actions
    QPushButton *CmdTimeZone, *CmdNow, *CmdInput, *CmdFileDateMod, *CmdDelete, *CmdReset, *CmdClear,
        *CmdHelp;
    // Photo
    QLineEdit *TAuthor, *TPicMemo;
    QPushButton *CmdPicMemoAdd, *CmdPicDateMod, *CmdPicExifDel;
    QCheckBox *CheckAll, *Check1;
    // Progress
    QLabel *LProgress;
    QProgressBar *ProgressBar1;
    // Grid
    FileGrid *VSFlexGrid1;
    FileGridView *GridView;
    // Status
    QStatusBar *SB1;
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
    void createControls();
    void layoutControls();
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
