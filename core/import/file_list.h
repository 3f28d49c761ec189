#pragma once

#include <QObject>
#include <QStringList>

#include <functional>

namespace kalmora {

// The ";"-separated wildcard patterns of the file-type box, matched with case ignored. "*.*"
// matches every name, as file dialogs have it.
class FilePattern {
public:
    explicit FilePattern(const QString &patterns);
    bool matches(const QString &name) const;

private:
    // Each pattern cut at its stars: the pieces between them, which match fixed lengths.
    QList<QStringList> m_parts;
    bool m_all = false;
};

// The picture types the file-type box starts with and returns to.
inline QString DefaultPicturePattern() {
    return QStringLiteral("*.jpeg;*.jpe;*.jpg;*.bmp;*.gif;*.tif;*.tiff");
}

// The photo types of the Exif and rename modes.
inline QString ExifPhotoPattern() {
    return QStringLiteral("*.jpg;*.jpeg;*.jpe;*.tiff;*.tif");
}

// The types phones and cameras record besides those, which the Exif and rename modes add when
// asked: HEIC/HEIF, PNG, WebP, and raw photos.
inline QString MorePhotoPattern() {
    return QStringLiteral("*.heic;*.heif;*.hif;*.png;*.webp;*.dng;*.cr2;*.cr3;*.nef;*.arw;*.orf;"
                          "*.rw2;*.pef");
}

// The video types of video mode.
inline QString DefaultVideoPattern() {
    return QStringLiteral("*.avi;*.rm;*.rmvb;*.mpg;*.mpeg;*.flv;*.mov;*.mkv;*.3gp;*.asf;*.wmv;"
                          "*.mp4;*.m4v;*.mts;*.m2ts");
}

// File-manager order: case ignored, runs of digits compared by value (IMG_2 before IMG_10).
bool NaturalLess(const QString &a, const QString &b);

// Why a folder could not be listed (an errno of FileList::listError), for the user.
QString FolderErrorText(int error);

// The window's file list: the regular, non-hidden files of one folder whose names match the
// pattern, in the order a file manager shows them (case ignored, numbers by value).
class FileList : public QObject {
    Q_OBJECT
public:
    explicit FileList(QObject *parent = nullptr);

    QString path() const { return m_path; }
    // False when the folder does not exist; the list then keeps its former folder.
    bool setPath(const QString &path);
    QString pattern() const { return m_pattern; }
    void setPattern(const QString &pattern);
    // Lists the folder again. `between`, when given, runs between pieces of the listing and the
    // sort that take a few milliseconds each, so a caller can keep a window live over a large
    // folder.
    void refresh(const std::function<void()> &between = {});

    int count() const { return int(m_names.size()); }
    QString name(int i) const { return m_names.value(i); } // 0-based
    const QStringList &names() const { return m_names; }
    // Why the last listing could not read the folder (errno: not there, not allowed, a disk
    // error); 0 when it was read, empty or not.
    int listError() const { return m_listError; }

signals:
    void changed();

private:
    QString m_path;
    QString m_pattern;
    QStringList m_names;
    int m_listError = 0;
    quint64 m_generation = 0; // refreshes begun
};

} // namespace kalmora
