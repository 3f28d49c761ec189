#pragma once

#include "photo/date_shift.h"

#include <QObject>

#include <functional>
#include <optional>

namespace kalmora {

class FMainDate;

// CmdPicDateMod: rewrites the original shooting date inside the imported photos, for the current
// row from the window's start fields, or for every row as the settings dialog says.
class DateRewrite : public QObject {
    Q_OBJECT
public:
    explicit DateRewrite(FMainDate &window);

    void picDateModClicked();

    // Asks how the new dates are derived; no value when the user gave up. The real dialog by
    // default; tests answer it directly.
    std::function<std::optional<PhotoDateSettings>()> askSettings;

private:
    void rewriteCurrentRow();
    void rewriteAllRows();
    // False when the journal could not record the batch: nothing was changed.
    bool rewriteRows(const PhotoDateSettings &settings);
    // Re-reads the row's shooting date from the file into column 2.
    void refreshRow(int row);

    FMainDate &w;
};

} // namespace kalmora
