#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace kalmora {

// File names are bytes; most are UTF-8, but archives from other systems unpack to names in
// other encodings (GBK/GB18030 above all). The program keeps every name as text without loss:
// each byte that is not part of valid UTF-8 is held as one of the code points U+DC80..U+DCFF,
// which no valid UTF-8 name can produce. PathBytes gives the exact bytes back; every call that
// hands a path to the system goes through it.
QString NameFromBytes(const QByteArray &bytes);
QByteArray PathBytes(const QString &path);
// Whether the name holds bytes that are not UTF-8.
bool HasForeignBytes(const QString &name);
// What the user sees of a name: the name itself when it is UTF-8, else its bytes read as
// GB18030, else the name with each foreign byte shown as "\xNN".
QString DisplayName(const QString &name);
// The same for a field of an export (ExportField): a backslash there is doubled, so that a byte
// shown as "\xNN" is told from those four characters.
QString ExportName(const QString &name);
// Opens the file at exactly that path (open(2) flags, O_CLOEXEC added), through the batch's
// folder where one is held (OpenAt), and hands it to a QFile, which closes it. QFile's own open
// would lose a name that is not UTF-8.
bool OpenPath(QFile &file, const QString &path, int flags, QIODevice::OpenMode mode);

} // namespace kalmora
