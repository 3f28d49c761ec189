#pragma once

#include "core/batch/stamps_from_date.h"
#include "core/platform/services.h"
#include "ui_date_stamps_dialog.h"

#include <QDialog>

#include <optional>

namespace kalmora {

// Asks which file times take the files' own dates, and a shift to add to them first. The
// controls come from the form date_stamps_dialog.ui.
class FDateStamps : public QDialog, public Ui_FDateStamps {
    Q_OBJECT
public:
    explicit FDateStamps(const DateStampsChoice &start, QWidget *parent = nullptr);

    // Shows the dialog modally with the stamps chosen last time; no value when the user gave
    // up. The stamps chosen are remembered.
    static std::optional<DateStampsChoice> ask(Services &services, QWidget *parent);

    // What the controls say now.
    DateStampsChoice choice() const;

private:
    void refresh();
};

} // namespace kalmora
