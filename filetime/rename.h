#pragma once

#include <QObject>
#include <QString>

#include "filetime/rename_rules.h"

namespace kalmora {

class FMainDate;

// Renames every listed photo or video after its shooting date (the date cell of the import).
class RenameByShootingDate : public QObject {
    Q_OBJECT
public:
    explicit RenameByShootingDate(FMainDate &window);
    // The rows; the caller runs the closing steps afterwards.
    // Returns the rows done: all of them unless a Stop came first.
    int run();

private:
    FMainDate &w;
};

} // namespace kalmora
