// Feeds every file below the given folders to a fuzz target's check, so the seeds and every
// input that once broke the code run with the ordinary tests.
// Usage: kalmora_fuzz_replay TARGET FOLDER...
#include "tests/fuzz/fuzz_checks.h"

#include <QDirIterator>
#include <QFile>
#include <QStringList>

#include <algorithm>
#include <cstdio>

int main(int argc, char *argv[]) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s TARGET FOLDER...\n", argv[0]);
        return 2;
    }
    const kalmora::fuzz::Check check = kalmora::fuzz::CheckNamed(QString::fromLocal8Bit(argv[1]));
    if (!check) {
        std::fprintf(stderr, "no such target: %s\n", argv[1]);
        return 2;
    }
    QStringList files;
    for (int i = 2; i < argc; ++i) {
        QDirIterator it(QString::fromLocal8Bit(argv[i]), QDir::Files | QDir::Hidden,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            files.append(it.next());
    }
    std::sort(files.begin(), files.end());
    // Replaying nothing would pass without testing anything.
    if (files.isEmpty()) {
        std::fprintf(stderr, "no input files\n");
        return 1;
    }
    for (const QString &path : files) {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
            return 1;
        }
        std::printf("%s\n", qPrintable(path)); // names the input if the check aborts
        std::fflush(stdout);
        check(f.readAll());
    }
    std::printf("%lld inputs passed\n", static_cast<long long>(files.size()));
    return 0;
}
