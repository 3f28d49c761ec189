#pragma once

#include "core/filetime/rename_rules.h"
#include "core/journal/journal.h"

#include <QObject>
#include <QString>

namespace kalmora {

class FMainDate;

// Renames every listed photo or video after its shooting date (the date cell of the import).
class RenameByShootingDate : public QObject {
    Q_OBJECT
public:
    explicit RenameByShootingDate(FMainDate &window);
    // The rows; the caller runs the closing steps afterwards.
    // Returns the rows done: all of them unless a Stop came first; NotStarted when the journal
    // could not record the batch (nothing changed, the window as before).
    int run();
    static constexpr int NotStarted = -2;

private:
    FMainDate &w;
};

} // namespace kalmora
