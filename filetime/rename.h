#pragma once

#include "filetime/rename_no_replace.h"
#include "journal/journal.h"

#include <QObject>
#include <QString>

namespace kalmora {

class FMainDate;

// "yyyy-mm-dd hh.mm.ss" from a date text: a video's "yyyy-mm-dd hh:mm:ss" or a photo's Exif
// "yyyy:mm:dd hh:mm:ss". Empty when the text cannot make a file name here.
QString RenameBaseName(const QString &dateText, bool video);
// The name's extension from its last ".", dot and letter case kept; empty without a dot.
QString ExtensionOf(const QString &name);
// The row's failure text for an error, empty for none.
QString RenameFailureText(RenameError error);

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
