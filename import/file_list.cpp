#include "import/file_list.h"

#include <QCollator>
#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace kalmora {

FilePattern::FilePattern(const QString &patterns) {
    for (const QString &part : patterns.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString p = part.trimmed();
        if (p == QLatin1String("*.*") || p == QLatin1String("*"))
            m_all = true;
        else if (!p.isEmpty())
            m_parts.append(QRegularExpression(QRegularExpression::wildcardToRegularExpression(p),
                                              QRegularExpression::CaseInsensitiveOption));
    }
}

bool FilePattern::matches(const QString &name) const {
    if (m_all)
        return true;
    return std::any_of(m_parts.begin(), m_parts.end(),
                       [&](const QRegularExpression &re) { return re.match(name).hasMatch(); });
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
        QCollator collator;
        collator.setNumericMode(true);
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        std::stable_sort(m_names.begin(), m_names.end(), [&](const QString &a, const QString &b) {
            return collator.compare(a, b) < 0;
        });
    }
    emit changed();
}

} // namespace kalmora
