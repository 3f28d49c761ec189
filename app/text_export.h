#pragma once

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

// A text file written as GB18030 with CR LF line ends. It appears only when everything was
// written and commit() succeeded; otherwise any earlier file of that name stays as it was.
// A name taken by anything but a regular file of the user's own (a link, a pipe, another
// user's file) is refused and left as it is.
class TextExport {
public:
    explicit TextExport(const QString &path);
    bool open();
    bool writeLine(const QString &line); // adds CR LF
    bool commit();
    QString path() const { return m_file.fileName(); }
    // Why the file was refused, for the caller's message; empty when it was not.
    QString refusal() const { return m_refusal; }

private:
    bool nameIsSafe();

    QSaveFile m_file;
    bool m_ok = false;
    QString m_refusal;
};

} // namespace kalmora
