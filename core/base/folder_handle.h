#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace kalmora {

// While one lives, the files directly in `folder` are reached on this thread relative to one
// handle on the folder, opened here: a batch does not walk the folder's path again for every
// call, and every call lands in the folder the batch opened, even if its path names another
// folder meanwhile (renamed, or swapped for a link). That holds for everything on this thread
// while it lives, the window's events a batch lets through included. Other paths are taken as
// they are. Scopes nest.
class FolderScope {
public:
    explicit FolderScope(const QString &folder);
    ~FolderScope();
    FolderScope(const FolderScope &) = delete;
    FolderScope &operator=(const FolderScope &) = delete;

    // Whether the folder could be opened (else paths are taken as they are).
    bool held() const { return m_fd >= 0; }

private:
    friend struct FileAt;
    friend int InnermostFolderHandle();
    QString m_prefix; // the folder and a slash
    int m_fd = -1;
    const FolderScope *m_outer = nullptr;
};

// A file as the *at system calls take it: the handle of the innermost FolderScope on this
// thread and the name, when the path names a file directly in that scope's folder; else the
// working folder (AT_FDCWD) and the whole path. The bytes are those of PathBytes. The calls
// that take no handle (extended attributes, statfs) get a path to the same file through the
// handle, worked out only when one of them is made.
struct FileAt {
    int dir = -100; // AT_FDCWD
    QByteArray name;
    mutable QByteArray whole;

    // No value for an empty path, nor for one with a NUL inside, which would silently name
    // another file.
    static std::optional<FileAt> of(const QString &path);

    const char *wholePath() const;
};

// The handle of the innermost scope on this thread (-1: none), for a program this one starts
// there: kept open in it, the paths through that handle (FileAt::wholePath, /proc/self/fd/N/…)
// reach the same folder in both, even once this process has ended.
int InnermostFolderHandle();

// Opens the file at `path` through the innermost scope (open(2) flags; O_CLOEXEC added): the
// descriptor, or -1 with errno set.
int OpenAt(const QString &path, int flags);

// Opens the file for reading without moving its access time where the kernel allows it (the
// files the user owns: the only ones whose stamps a batch may set or put back), so that a
// batch's reads never change what its journal recorded, and a dry run changes nothing.
int OpenToRead(const QString &path, int flags = 0);

} // namespace kalmora
