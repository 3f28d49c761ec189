#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace kalmora {

// One stamp to the nanosecond, as the file system keeps it.
struct Stamp {
    qint64 sec = 0;
    qint64 nsec = 0;
    friend bool operator==(const Stamp &, const Stamp &) = default;
};

// What a file holds, as far as the journal compares it.
struct FileState {
    bool exists = false;
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    Stamp access;
    Stamp modification;
    Stamp creation;
    bool creationSettable = false; // an NTFS creation time the program can write back
    quint32 mode = 0;              // the permission bits; 0: not known (an older journal's)
    QByteArray hash;               // of the content; only where the content changes

    // The same file with the same content and times; the access time is left out: merely
    // reading a file moves it.
    bool sameAs(const FileState &other) const;
};

} // namespace kalmora
