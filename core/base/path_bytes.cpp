#include "core/base/path_bytes.h"

#include "core/base/folder_handle.h"

#include "core/base/text_export.h"

#include <fcntl.h>
#include <unistd.h>

namespace kalmora {

namespace {

constexpr char16_t EscapeBase = 0xDC00;

bool isEscape(QChar c, QChar before) {
    return c.unicode() >= 0xDC80 && c.unicode() <= 0xDCFF && !before.isHighSurrogate();
}

// Length of the valid UTF-8 sequence at p (1..4), or 0 when the bytes there are not one.
int utf8SequenceAt(const unsigned char *p, qsizetype left) {
    const unsigned char b = p[0];
    if (b < 0x80)
        return 1;
    int length;
    char32_t min;
    if ((b & 0xE0) == 0xC0)
        length = 2, min = 0x80;
    else if ((b & 0xF0) == 0xE0)
        length = 3, min = 0x800;
    else if ((b & 0xF8) == 0xF0)
        length = 4, min = 0x10000;
    else
        return 0;
    if (left < length)
        return 0;
    char32_t cp = b & (0x7F >> length);
    for (int i = 1; i < length; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    // Overlong forms, surrogates and code points past Unicode are not UTF-8.
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return length;
}

} // namespace

QString NameFromBytes(const QByteArray &bytes) {
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.constData());
    const qsizetype n = bytes.size();
    QString name;
    name.reserve(n);
    qsizetype runStart = 0, i = 0;
    while (i < n) {
        const int length = utf8SequenceAt(p + i, n - i);
        if (length > 0) {
            i += length;
            continue;
        }
        name += QString::fromUtf8(bytes.constData() + runStart, i - runStart);
        name += QChar(char16_t(EscapeBase + p[i]));
        runStart = ++i;
    }
    name += QString::fromUtf8(bytes.constData() + runStart, n - runStart);
    return name;
}

bool HasForeignBytes(const QString &name) {
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (isEscape(name[i], i > 0 ? name[i - 1] : QChar()))
            return true;
    }
    return false;
}

QByteArray PathBytes(const QString &path) {
    if (!HasForeignBytes(path))
        return path.toUtf8();
    QByteArray bytes;
    bytes.reserve(path.size() * 3);
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < path.size(); ++i) {
        if (!isEscape(path[i], i > 0 ? path[i - 1] : QChar()))
            continue;
        bytes += QStringView(path).mid(runStart, i - runStart).toUtf8();
        bytes += char(path[i].unicode() - EscapeBase);
        runStart = i + 1;
    }
    bytes += QStringView(path).mid(runStart).toUtf8();
    return bytes;
}

namespace {

// The name as shown, its other characters through `text`.
template <typename Text> QString shownName(const QString &name, const Text &text) {
    if (!HasForeignBytes(name))
        return text(name);
    if (const std::optional<QString> decoded = DecodeGb18030(PathBytes(name)))
        return text(*decoded);
    QString shown;
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (isEscape(name[i], i > 0 ? name[i - 1] : QChar()))
            shown += QStringLiteral("\\x") +
                     QString::number(name[i].unicode() - EscapeBase, 16).toUpper();
        else
            shown += text(QString(name[i]));
    }
    return shown;
}

} // namespace

QString DisplayName(const QString &name) {
    return shownName(name, [](const QString &text) { return text; });
}

QString ExportName(const QString &name) {
    return shownName(name, ExportField);
}

bool OpenPath(QFile &file, const QString &path, int flags, QIODevice::OpenMode mode) {
    const int fd = OpenAt(path, flags);
    if (fd < 0)
        return false;
    if (file.open(fd, mode, QFileDevice::AutoCloseHandle))
        return true;
    ::close(fd);
    return false;
}

} // namespace kalmora
