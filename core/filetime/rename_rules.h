#pragma once

#include <QString>

namespace kalmora {

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

// The name a file takes after its date text: the base name and its own extension; empty when
// the date cannot name it (a photo's unknown date, a text that is no date).
QString RenameTargetName(const QString &name, const QString &dateText, bool video);
QString RenameInvalidDateText();

} // namespace kalmora
