#pragma once

#include "core/batch/stamps_from_date.h"

#include <QObject>

#include <functional>
#include <optional>

namespace kalmora {

class FMainDate;

// CmdStampsFromDate: after an import in Exif mode (or of videos with their recorded dates),
// writes each file's own date, shifted if asked, into the file times the user chooses.
class FileTimesFromDate : public QObject {
    Q_OBJECT
public:
    explicit FileTimesFromDate(FMainDate &window);

    void clicked();

    // Asks which stamps take the date and the shift; no value when the user gave up. The real
    // dialog by default; tests answer it directly.
    std::function<std::optional<DateStampsChoice>()> askChoice;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    FMainDate &w;
};

} // namespace kalmora
