#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <utility>

namespace kalmora::cli {

// A message for the user on standard error, in the locale's language: Chinese under zh_*,
// English otherwise.
QString Say(const char *chinese, const char *english);
void Message(const QString &text);
// The English form of one of the window's own refusals (the same text under zh_*).
QString Localized(const QString &windowText);

// Standard output, held in blocks of whole lines (each call gives whole lines): a block cut off
// by a reader that went away never ends in half a line. Written at once on a terminal.
void WriteOut(const QByteArray &bytes);
// Writes what is held; the system's error of the first write to standard output that failed
// (then nothing more is written), 0 while none did.
int FlushOut();
int OutputError();

// One result line per file on standard output: tab-separated (path, result, then the values),
// or one JSON object per line. Paths are written as their bytes; in JSON a byte that is not
// UTF-8 is the escape \udcXX, as Python's surrogateescape reads it.
class Results {
public:
    using Values = QList<std::pair<QString, QString>>;
    explicit Results(bool json) : m_json(json) {}
    void add(const QString &path, const QString &result, const Values &values = {});
    bool anyFailed() const { return m_failed > 0; }
    int exitStatus() const;

    static QByteArray tsvField(const QByteArray &bytes);
    static QByteArray jsonString(const QString &text);

private:
    bool m_json;
    int m_failed = 0;
};

// A bar on standard error while a long batch runs, only when standard error is a terminal.
class Progress {
public:
    explicit Progress(int total);
    ~Progress();
    void step(int done);

private:
    int m_total;
    bool m_shown;
    int m_lastPercent = -1;
};

} // namespace kalmora::cli
