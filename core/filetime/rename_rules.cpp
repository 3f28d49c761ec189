#include "core/filetime/rename_rules.h"

#include "core/base/folder_handle.h"
#include "core/base/path_bytes.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace kalmora {

namespace {

RenameError classify(int error) {
    switch (error) {
    case EEXIST:
    case ENOTEMPTY:
        return RenameError::Exists;
    case ENOENT:
    case EACCES:
    case EPERM:
    case EROFS:
    case ENAMETOOLONG:
        return RenameError::Access;
    default:
        return RenameError::Other;
    }
}

} // namespace

RenameError RenameNoReplace(const QString &from, const QString &to) {
    // Through the batch's folder where one is held.
    const auto a = FileAt::of(from), b = FileAt::of(to);
    if (!a || !b)
        return RenameError::Other;
    const char *aName = a->name.constData(), *bName = b->name.constData();
    if (renameat2(a->dir, aName, b->dir, bName, RENAME_NOREPLACE) == 0)
        return RenameError::None;
    if (errno != EINVAL && errno != ENOSYS)
        return classify(errno);
    // The file system cannot refuse a replacement by itself: a hard link cannot replace
    // anything either, and the old name goes only once the new one exists.
    if (linkat(a->dir, aName, b->dir, bName, 0) != 0)
        return classify(errno);
    if (unlinkat(a->dir, aName, 0) != 0) {
        const int error = errno;
        unlinkat(b->dir, bName, 0); // the file keeps exactly one name
        return classify(error);
    }
    return RenameError::None;
}

QString RenameBaseName(const QString &s, bool video) {
    QString base;
    if (video) {
        if (s.size() < 12)
            return {};
        base = s.left(10).replace(QLatin1Char(':'), QLatin1Char('-')) + QLatin1Char(' ') +
               s.mid(11).replace(QLatin1Char(':'), QLatin1Char('.'));
    } else {
        const qsizetype p = s.indexOf(QLatin1Char(' '));
        if (p < 0)
            return {};
        base = s.left(p).replace(QLatin1Char(':'), QLatin1Char('-')) +
               s.mid(p).replace(QLatin1Char(':'), QLatin1Char('.'));
    }
    // A date text is no path: a separator would move the file elsewhere.
    if (base.contains(QLatin1Char('/')) || base.contains(QChar(0)) || base.trimmed().isEmpty())
        return {};
    return base;
}

QString ExtensionOf(const QString &name) {
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot);
}

QString RenameFailureText(RenameError error) {
    switch (error) {
    case RenameError::None:
        return {};
    case RenameError::Exists:
        return QStringLiteral("更名失败(同名)");
    case RenameError::Access:
        return QStringLiteral("更名失败(文件访问错误)");
    case RenameError::Other:
        return QStringLiteral("更名失败(文在在使用中)");
    }
    return {};
}

QString RenameTargetName(const QString &name, const QString &dateText, bool video) {
    // An Exif date of blanks and colons is the photo's way of saying it has none.
    const bool unknownDate = dateText.isEmpty() || dateText.contains(QLatin1String("   "));
    const QString base = RenameBaseName(dateText, video);
    if ((unknownDate && !video) || base.isEmpty())
        return {};
    // A name in another encoding gets a new name in UTF-8.
    return base + DisplayName(ExtensionOf(name));
}

QString RenameInvalidDateText() {
    return QStringLiteral("更名失败(日期无效)");
}

} // namespace kalmora
