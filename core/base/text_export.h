#pragma once

#include "core/base/date_time.h"

#include <QSaveFile>
#include <QString>

#include <optional>

namespace kalmora {

// The text in GB18030, the multi-byte code page spreadsheets here expect; it holds every
// character, so nothing is lost. No value when the converter is unavailable.
std::optional<QByteArray> EncodeGb18030(const QString &text);
// The reverse, for tests and readers of exported files.
std::optional<QString> DecodeGb18030(const QByteArray &bytes);

// The text of one field of an export line: line breaks inside it are shown as "\r" and "\n",
// so that a file name or a photo's text cannot add lines of its own.
QString OneLine(const QString &text);
// A field of an exported line: OneLine's escapes, and TAB and the backslash too, so that a line
// has exactly its header's columns and each field reads back to one text.
QString ExportField(const QString &text);

// How an export is written: GB18030 for the spreadsheets here, or UTF-8 when asked for.
enum class ExportEncoding { Gb18030, Utf8 };
// One line of an export as bytes, CR LF added; no value when it cannot be encoded.
std::optional<QByteArray> ExportLineBytes(const QString &line, ExportEncoding encoding);

// The time-list export: its header and one file's line (the folder ends in a separator).
QString TimeListHeader();
QString TimeListLine(const QString &folderText, const QString &name, const DateTime &creation,
                     const DateTime &lastWrite, const DateTime &lastAccess);

// A text file written as GB18030 with CR LF line ends. It appears only when everything was
// written and commit() succeeded; otherwise any earlier file of that name stays as it was.
// A name taken by anything but a regular file of the user's own (a link, a pipe, another
// user's file) is refused and left as it is.
class TextExport {
public:
    explicit TextExport(const QString &path, ExportEncoding encoding = ExportEncoding::Gb18030);
    bool open();
    bool writeLine(const QString &line); // adds CR LF
    bool commit();
    QString path() const { return m_file.fileName(); }
    // Why the file was refused, for the caller's message; empty when it was not.
    QString refusal() const { return m_refusal; }

private:
    bool nameIsSafe();

    QSaveFile m_file;
    ExportEncoding m_encoding;
    bool m_ok = false;
    QString m_refusal;
};

} // namespace kalmora
