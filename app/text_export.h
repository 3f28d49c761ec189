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

// A text file written as GB18030 with CR LF line ends. It appears only when everything was
// written and commit() succeeded; otherwise any earlier file of that name stays as it was.
class TextExport {
public:
    explicit TextExport(const QString &path);
    bool open();
    bool writeLine(const QString &line); // adds CR LF
    bool commit();
    QString path() const { return m_file.fileName(); }

private:
    QSaveFile m_file;
    bool m_ok = false;
};

} // namespace kalmora
