#pragma once

#include <QObject>
#include <QString>

namespace kalmora {

class FMainDate;

enum class RenameError { None, Exists, Access, Other };

// Renames within the file system without ever replacing a file: a target that exists, or one
// that appears meanwhile, makes it fail with Exists.
RenameError RenameNoReplace(const QString &from, const QString &to);

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
    // Returns the rows done: all of them unless a Stop came first.
    int run();

private:
    FMainDate &w;
};

} // namespace kalmora
