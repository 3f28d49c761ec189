#include "import/file_list.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace kalmora {

namespace {

bool sameLetter(QChar a, QChar b) {
    return a == b || a.toCaseFolded() == b.toCaseFolded();
}

// Whether the star-free piece matches the name at the given place; "?" takes any character.
bool pieceAt(QStringView piece, QStringView name, qsizetype at) {
    if (at + piece.size() > name.size())
        return false;
    for (qsizetype i = 0; i < piece.size(); ++i) {
        if (piece[i] != QLatin1Char('?') && !sameLetter(piece[i], name[at + i]))
            return false;
    }
    return true;
}

} // namespace

FilePattern::FilePattern(const QString &patterns) {
    for (const QString &part : patterns.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString p = part.trimmed();
        if (p == QLatin1String("*.*") || p == QLatin1String("*"))
            m_all = true;
        else if (!p.isEmpty())
            m_parts.append(p.split(QLatin1Char('*')));
    }
}

bool FilePattern::matches(const QString &name) const {
    if (m_all)
        return true;
    // Only "*" and "?" are wildcards, as in the system's own file patterns; brackets and
    // backslashes are characters of the name. The pieces between the stars have fixed lengths,
    // so each one taken at its earliest place never misses a match, and nothing backtracks.
    return std::any_of(m_parts.begin(), m_parts.end(), [&](const QStringList &pieces) {
        if (pieces.size() == 1)
            return pieces.first().size() == name.size() && pieceAt(pieces.first(), name, 0);
        const QString &first = pieces.first(), &last = pieces.last();
        if (first.size() + last.size() > name.size() || !pieceAt(first, name, 0) ||
            !pieceAt(last, name, name.size() - last.size()))
            return false;
        qsizetype at = first.size();
        const qsizetype end = name.size() - last.size();
        for (qsizetype k = 1; k + 1 < pieces.size(); ++k) {
            const QString &piece = pieces[k];
            while (at + piece.size() <= end && !pieceAt(piece, name, at))
                ++at;
            if (at + piece.size() > end)
                return false;
            at += piece.size();
        }
        return true;
    });
}

bool NaturalLess(const QString &a, const QString &b) {
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            qsizetype ie = i, je = j;
            while (ie < a.size() && a[ie].isDigit())
                ++ie;
            while (je < b.size() && b[je].isDigit())
                ++je;
            // Compare the runs by value: strip leading zeros, then length, then digits.
            QStringView x = QStringView(a).mid(i, ie - i), y = QStringView(b).mid(j, je - j);
            while (x.size() > 1 && x[0] == QLatin1Char('0'))
                x = x.mid(1);
            while (y.size() > 1 && y[0] == QLatin1Char('0'))
                y = y.mid(1);
            if (x.size() != y.size())
                return x.size() < y.size();
            if (const int c = x.compare(y); c != 0)
                return c < 0;
            i = ie;
            j = je;
            continue;
        }
        const QChar ca = a[i].toCaseFolded(), cb = b[j].toCaseFolded();
        if (ca != cb)
            return ca < cb;
        ++i;
        ++j;
    }
    if ((a.size() - i) != (b.size() - j))
        return a.size() - i < b.size() - j;
    return a < b; // same ignoring case and zeros: a stable, total order
}

FileList::FileList(QObject *parent) : QObject(parent) {}

bool FileList::setPath(const QString &path) {
    if (path.isEmpty() || !QFileInfo(path).isDir())
        return false;
    m_path = path;
    refresh();
    return true;
}

void FileList::setPattern(const QString &pattern) {
    m_pattern = pattern;
    refresh();
}

void FileList::refresh() {
    m_names.clear();
    if (!m_path.isEmpty()) {
        const QDir dir(m_path);
        const QFileInfoList entries = dir.entryInfoList(QDir::Files | QDir::NoDotAndDotDot);
        const FilePattern pattern(m_pattern);
        for (const QFileInfo &fi : entries) {
            if (fi.isFile() && !fi.isSymLink() && pattern.matches(fi.fileName()))
                m_names.append(fi.fileName());
        }
        std::stable_sort(m_names.begin(), m_names.end(), NaturalLess);
    }
    emit changed();
}

} // namespace kalmora
