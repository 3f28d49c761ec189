#include "core/import/file_list.h"

#include "core/base/path_bytes.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace kalmora {

namespace {

// Case folding; ASCII, where nearly every name lives, without the Unicode tables (which fold
// only A-Z there).
char16_t folded(QChar c) {
    const char16_t u = c.unicode();
    if (u < 0x80)
        return u >= u'A' && u <= u'Z' ? char16_t(u + (u'a' - u'A')) : u;
    return c.toCaseFolded().unicode();
}

bool sameLetter(QChar a, QChar b) {
    return a == b || folded(a) == folded(b);
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

// std::stable_sort in pieces: runs sorted one by one, then merged pairwise, `between` after each
// piece. A stable sort's result is fixed by the order, so it equals one std::stable_sort.
void stableSortInPieces(QStringList &names, const std::function<void()> &between) {
    constexpr qsizetype Run = 512;
    const qsizetype n = names.size();
    for (qsizetype at = 0; at < n; at += Run) {
        std::stable_sort(names.begin() + at, names.begin() + std::min(n, at + Run), NaturalLess);
        between();
    }
    QStringList merged(n);
    for (qsizetype width = Run; width < n; width *= 2) {
        for (qsizetype at = 0; at < n; at += 2 * width) {
            const auto first = names.begin() + at, middle = names.begin() + std::min(n, at + width),
                       last = names.begin() + std::min(n, at + 2 * width);
            std::merge(std::make_move_iterator(first), std::make_move_iterator(middle),
                       std::make_move_iterator(middle), std::make_move_iterator(last),
                       merged.begin() + at, NaturalLess);
            between();
        }
        names.swap(merged);
    }
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
        if (a[i] != b[j]) {
            const char16_t ca = folded(a[i]), cb = folded(b[j]);
            if (ca != cb)
                return ca < cb;
        }
        ++i;
        ++j;
    }
    if ((a.size() - i) != (b.size() - j))
        return a.size() - i < b.size() - j;
    return a < b; // same ignoring case and zeros: a stable, total order
}

QString FolderErrorText(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
        return QStringLiteral("没有读取该文件夹的权限");
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("该文件夹已不存在(可能已被移走或所在磁盘已拔出)");
    default:
        return QStringLiteral("读取出错(%1)").arg(QString::fromLocal8Bit(std::strerror(error)));
    }
}

FileList::FileList(QObject *parent) : QObject(parent) {}

bool FileList::setPath(const QString &path) {
    struct stat st;
    if (path.isEmpty() || ::stat(PathBytes(path).constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    m_path = path;
    refresh();
    return true;
}

void FileList::setPattern(const QString &pattern) {
    m_pattern = pattern;
    refresh();
}

void FileList::refresh(const std::function<void()> &between) {
    // A refresh run from an event handled in `between` (another folder or pattern) lists anew:
    // its list stands and this one is dropped.
    const quint64 generation = ++m_generation;
    QStringList names;
    DIR *dir = m_path.isEmpty() ? nullptr : opendir(PathBytes(m_path).constData());
    int listError = dir || m_path.isEmpty() ? 0 : errno;
    if (dir) {
        // Read by hand rather than through Qt, which decodes names as UTF-8 and loses every
        // name in another encoding.
        const FilePattern pattern(m_pattern);
        int read = 0;
        for (;;) {
            errno = 0;
            const dirent *entry = readdir(dir);
            if (!entry) {
                listError = errno; // 0 at the end of the folder
                break;
            }
            if (between && ++read % 512 == 0)
                between();
            if (entry->d_name[0] == '.') // hidden, and the folder's own entries
                continue;
            bool regular = entry->d_type == DT_REG;
            if (entry->d_type == DT_UNKNOWN) {
                struct stat st;
                regular = fstatat(dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                          S_ISREG(st.st_mode);
            }
            if (!regular)
                continue;
            const QString name = NameFromBytes(QByteArray(entry->d_name));
            if (pattern.matches(name))
                names.append(name);
        }
        closedir(dir);
        if (between)
            stableSortInPieces(names, between);
        else
            std::stable_sort(names.begin(), names.end(), NaturalLess);
    }
    if (generation != m_generation)
        return;
    m_listError = listError;
    if (listError)
        names.clear(); // a part of a folder is not its list
    m_names = std::move(names);
    emit changed();
}

} // namespace kalmora
