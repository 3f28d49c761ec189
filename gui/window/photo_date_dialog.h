#pragma once

#include "core/exif/date_shift.h"
#include "core/platform/services.h"
#include "ui_photo_date_dialog.h"

#include <QDialog>

#include <optional>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace kalmora {

class UpDown;

// Asks how the photos' new shooting dates are derived: from a new start date with a fixed
// increment, by a fixed shift or by a random shift of each photo's own date. The controls come
// from the form photo_date_dialog.ui.
class FPhotoDate : public QDialog, public Ui_FPhotoDate {
    Q_OBJECT
public:
    explicit FPhotoDate(Services &services, QWidget *parent = nullptr);

    // Shows the dialog modally; no value when the user gave up.
    // `videos`: the shift of the videos' dates, which offers to move the dates they record too.
    static std::optional<PhotoDateSettings> ask(Services &services, QWidget *parent,
                                                bool videos = false);

    // What the controls say now.
    PhotoDateSettings settings() const;
    // False while the dialog is open; true once OK or Cancel closed it.
    bool dialogDone() const { return m_done; }
    bool cancelled() const;

    // Handlers, also run by program code.
    void chNewClicked();
    void chForClicked();
    void option1Clicked();
    void option2Clicked();
    void unitClicked(ShiftUnit unit);
    // What the check of TStart came to: valid (or not checked), set right by Cancel (the fixed
    // shift is now selected and shown), or to be corrected (Retry).
    enum class StartCheck { Valid, FixedShiftShown, Retry };
    StartCheck validateStart();
    void okClicked();
    void cancelClicked();

public slots:
    void reject() override; // closing the window or Escape gives up, like CmdCancel

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void completeControls();
    void load();
    void fillStartWithNow();

    Services &m_services;
    bool m_done = false;
    bool m_validating = false;
};

} // namespace kalmora
