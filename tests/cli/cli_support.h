#pragma once

// Runs the built kalmora-cli as a script would, and looks at files to the nanosecond.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTest>

#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kalmora::test {

struct CliRun {
    int exit = -1;
    QByteArray out;
    QByteArray err;
    QList<QByteArray> lines() const {
        QList<QByteArray> l = out.split('\n');
        if (!l.isEmpty() && l.last().isEmpty())
            l.removeLast();
        return l;
    }
};

// lang: the locale the messages follow; C.UTF-8 gives English. asNobody: run under the account
// of no one (root's tests of what another user may not read).
inline CliRun runCli(const QStringList &arguments, const QString &lang = QStringLiteral("C.UTF-8"),
                     const QString &workingFolder = {}, bool asNobody = false) {
    QProcess p;
    if (asNobody)
        p.setChildProcessModifier([] {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(99);
        });
    if (!workingFolder.isEmpty())
        p.setWorkingDirectory(workingFolder);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("LC_ALL"));
    env.remove(QStringLiteral("LC_MESSAGES"));
    env.insert(QStringLiteral("LANG"), lang);
    // No display: the program must not need one.
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(KALMORA_CLI), arguments);
    CliRun run;
    if (!p.waitForFinished(300000) || p.exitStatus() != QProcess::NormalExit)
        return run;
    run.exit = p.exitCode();
    run.out = p.readAllStandardOutput();
    run.err = p.readAllStandardError();
    return run;
}

// Everything a write would change: the bytes and the stamps to the nanosecond.
struct DiskState {
    QByteArray bytes;
    qint64 mtimeSec = 0, mtimeNsec = 0, atimeSec = 0, atimeNsec = 0, btimeSec = 0, btimeNsec = 0;
    bool operator==(const DiskState &) const = default;
};

inline DiskState diskState(const QString &path) {
    DiskState s;
    // The stamps before the bytes: reading may move an access time that is not later than
    // the modification time.
    struct statx st {};
    if (statx(AT_FDCWD, QFile::encodeName(path).constData(), AT_SYMLINK_NOFOLLOW,
              STATX_BTIME | STATX_MTIME | STATX_ATIME, &st) == 0) {
        s.mtimeSec = st.stx_mtime.tv_sec;
        s.mtimeNsec = st.stx_mtime.tv_nsec;
        s.atimeSec = st.stx_atime.tv_sec;
        s.atimeNsec = st.stx_atime.tv_nsec;
        s.btimeSec = st.stx_btime.tv_sec;
        s.btimeNsec = st.stx_btime.tv_nsec;
    }
    QFile f(path);
    if (f.open(QIODevice::ReadOnly))
        s.bytes = f.readAll();
    return s;
}

// Every file of the folder by name, with its state. Reading leaves the access times alone when
// they are later than the modification times and recent (relatime), which the suites arrange.
inline QMap<QString, DiskState> folderState(const QString &folder) {
    QMap<QString, DiskState> m;
    for (const QString &name : QDir(folder).entryList(QDir::Files | QDir::Hidden))
        m.insert(name, diskState(folder + QLatin1Char('/') + name));
    return m;
}

// Sets the stamps with a nanosecond part: modification in the past, access a little after
// now (or at the second given). An access time later than both the modification and the
// status change stays put when the file is read (relatime).
inline bool setNanoStamps(const QString &path, qint64 mtimeSec, long nsec, qint64 atimeSec = -1) {
    struct timespec times[2];
    times[0].tv_sec = atimeSec < 0 ? time(nullptr) + 2 : atimeSec;
    times[0].tv_nsec = nsec;
    times[1].tv_sec = mtimeSec;
    times[1].tv_nsec = nsec;
    return utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0;
}

} // namespace kalmora::test
