#include "import/file_list.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace kalmora {

namespace {

// The pattern's pieces between its stars; a star inside brackets ("[*]") is a character.
// Brackets end where the regular expression of the whole pattern would end them: a "]" right
// after "[", "[!" or "[^" belongs to the set.
QStringList piecesBetweenStars(const QString &pattern) {
    QStringList pieces{QString()};
    for (qsizetype i = 0; i < pattern.size();) {
        const QChar c = pattern[i];
        if (c == QLatin1Char('*')) {
            pieces.append(QString());
            ++i;
            continue;
        }
        qsizetype end = i + 1;
        if (c == QLatin1Char('[')) {
            if (end < pattern.size() &&
                (pattern[end] == QLatin1Char('!') || pattern[end] == QLatin1Char('^')))
                ++end;
            if (end < pattern.size() && pattern[end] == QLatin1Char(']'))
                ++end;
            while (end < pattern.size() && pattern[end] != QLatin1Char(']'))
                ++end;
        }
        pieces.last() += pattern.mid(i, end - i);
        i = end;
    }
    return pieces;
}

} // namespace

FilePattern::FilePattern(const QString &patterns) {
    // One regular expression per pattern would backtrack through every way of sharing a name
    // among its stars, give up at the engine's limit and miss names that match ("*a*a*a*a*b*").
    // The pieces between the stars have fixed lengths: each is found at its earliest place.
    for (const QString &part : patterns.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString p = part.trimmed();
        if (p == QLatin1String("*.*") || p == QLatin1String("*")) {
            m_all = true;
        } else if (!p.isEmpty()) {
            const QStringList pieces = piecesBetweenStars(p);
            QList<QRegularExpression> expressions;
            for (qsizetype k = 0; k < pieces.size(); ++k) {
                QString rx = QRegularExpression::wildcardToRegularExpression(
                    pieces[k], QRegularExpression::UnanchoredWildcardConversion);
                if (pieces.size() == 1)
                    rx = QRegularExpression::anchoredPattern(rx);
                else if (k == pieces.size() - 1)
                    rx = QStringLiteral("(?:") + rx + QStringLiteral(")\\z"); // ends the name
                expressions.append(
                    QRegularExpression(rx, QRegularExpression::CaseInsensitiveOption));
            }
            m_parts.append(expressions);
        }
    }
}

bool FilePattern::matches(const QString &name) const {
    if (m_all)
        return true;
    return std::any_of(m_parts.begin(), m_parts.end(), [&](const QList<QRegularExpression> &re) {
        if (re.size() == 1)
            return re.first().match(name).hasMatch();
        // The first piece starts the name, the last one ends it, the others come in order.
        QRegularExpressionMatch m = re.first().match(name, 0, QRegularExpression::NormalMatch,
                                                     QRegularExpression::AnchorAtOffsetMatchOption);
        for (qsizetype k = 1; m.hasMatch() && k < re.size(); ++k)
            m = re[k].match(name, m.capturedEnd());
        return m.hasMatch();
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
