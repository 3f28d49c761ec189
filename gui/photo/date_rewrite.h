#pragma once

#include "core/batch/date_patch_step.h"
#include "core/exif/date_shift.h"

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
    // NotStarted when the journal could not record the batch: nothing was changed.
    BatchOutcome::End rewriteRows(const PhotoDateSettings &settings);
    // The rewrite of these grid rows through the batch engine; each row shows its result text
    // and the shooting date the photo holds afterwards. `workOut` finds `item.original` filled
    // from the row's original date (it runs on the batch's thread: no grid there).
    BatchOutcome::End rewrite(const QList<int> &rows, const DatePatchStep::WorkOut &workOut,
                              bool otherDates, const QString &failedText);

    FMainDate &w;
};

} // namespace kalmora
