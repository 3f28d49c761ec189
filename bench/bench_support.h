#pragma once

// Shared by the benchmark programs: each one handles every file of one folder the way the
// program does, prints one summary line and fails when any file was not handled, so a timing
// never stands for work that did not happen.
#include <QDir>
#include <QStringList>

#include <cstdio>

namespace kalmora::bench {

// The regular files of the folder whose names match, in name order.
inline QStringList filesIn(const QString &folder, const QStringList &patterns = {}) {
    return QDir(folder).entryList(patterns, QDir::Files, QDir::Name);
}

inline QStringList photosIn(const QString &folder) {
    return filesIn(folder, {QStringLiteral("*.jpg"), QStringLiteral("*.JPG")});
}

inline int usage(const char *program, const char *arguments) {
    std::fprintf(stderr, "usage: %s %s\n", program, arguments);
    return 2;
}

inline int finish(const char *what, qsizetype files, int failed) {
    std::printf("%s: %lld files, %d failed\n", what, static_cast<long long>(files), failed);
    return failed == 0 ? 0 : 1;
}

} // namespace kalmora::bench
