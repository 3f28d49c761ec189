#include "app/single_instance.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using kalmora::SingleInstanceGuard;

class SingleInstanceTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString lockPath() const { return m_dir.filePath(QStringLiteral("kalmora.lock")); }

    void start(QProcess &p, const QString &folder = {}) {
        p.setProgram(QStringLiteral(PROBE_PATH));
        p.setArguments(folder.isEmpty() ? QStringList{lockPath(), m_dir.path()}
                                        : QStringList{lockPath(), m_dir.path(), folder});
        // A killed probe cannot remove its temporary folders; ours removes them with it.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TMPDIR"), m_dir.path());
        p.setProcessEnvironment(environment);
        p.start();
        QVERIFY(p.waitForStarted());
    }
    static bool waitForLine(QProcess &p, const QByteArray &prefix, QByteArray *line) {
        QByteArray out;
        for (int i = 0; i < 100; ++i) {
            while (p.canReadLine()) {
                const QByteArray l = p.readLine().trimmed();
                if (l.startsWith(prefix)) {
                    *line = l;
                    return true;
                }
            }
            if (!p.waitForReadyRead(100) && p.state() == QProcess::NotRunning)
                return false;
        }
        return false;
    }

    // Sets an environment variable for the life of the object.
    struct ScopedVariable {
        QByteArray name, old;
        bool had;
        ScopedVariable(const char *n, const QByteArray &value)
            : name(n), old(qgetenv(n)), had(qEnvironmentVariableIsSet(n)) {
            if (value.isNull())
                qunsetenv(n);
            else
                qputenv(n, value);
        }
        ~ScopedVariable() {
            if (had)
                qputenv(name.constData(), old);
            else
                qunsetenv(name.constData());
        }
    };

private slots:
    // Another user's runtime folder, or one that others may write into, is not trusted; nor is
    // the shared temporary folder, where anyone can plant a file under the lock's name.
    void lockLivesInAFolderNoOtherUserCanChange_data() {
        QTest::addColumn<QString>("runtime");
        QTest::newRow("runtime folder of another user") << QStringLiteral("foreign");
        QTest::newRow("runtime folder writable by all") << QStringLiteral("open");
        QTest::newRow("runtime folder is a link") << QStringLiteral("link");
        QTest::newRow("no runtime folder") << QString();
    }
    void lockLivesInAFolderNoOtherUserCanChange() {
        QFETCH(QString, runtime);
        QTemporaryDir root;
        QVERIFY(root.isValid());
        const QDir dir(root.path());
        // A shared temporary folder where another user planted the lock names first.
        const QString tmp = dir.filePath(QStringLiteral("tmp"));
        QVERIFY(dir.mkpath(QStringLiteral("tmp")));
        QVERIFY(::chmod(QFile::encodeName(tmp).constData(), 01777) == 0);
        const uid_t other = 65534;
        for (const QString &planted :
             {QStringLiteral("kalmora-%1.lock").arg(getuid()), QStringLiteral("runtime-root")}) {
            QVERIFY(QDir(tmp).mkdir(planted));
            QVERIFY(::chown(QFile::encodeName(tmp + u'/' + planted).constData(), other, other) ==
                    0);
        }
        QString runtimePath;
        if (runtime == QLatin1String("foreign") || runtime == QLatin1String("open")) {
            runtimePath = dir.filePath(runtime);
            QVERIFY(dir.mkdir(runtime));
            const QByteArray native = QFile::encodeName(runtimePath);
            if (runtime == QLatin1String("foreign"))
                QVERIFY(::chown(native.constData(), other, other) == 0 &&
                        ::chmod(native.constData(), 0700) == 0);
            else
                QVERIFY(::chmod(native.constData(), 0777) == 0);
        } else if (runtime == QLatin1String("link")) {
            runtimePath = dir.filePath(QStringLiteral("link"));
            QVERIFY(QFile::link(tmp, runtimePath));
        }
        const QString cache = dir.filePath(QStringLiteral("cache"));
        ScopedVariable runtimeVariable("XDG_RUNTIME_DIR", runtimePath.isEmpty()
                                                              ? QByteArray()
                                                              : QFile::encodeName(runtimePath));
        ScopedVariable tmpVariable("TMPDIR", QFile::encodeName(tmp));
        ScopedVariable cacheVariable("XDG_CACHE_HOME", QFile::encodeName(cache));

        const QString lock = SingleInstanceGuard::defaultLockPath();
        QVERIFY2(!lock.startsWith(tmp) && (runtimePath.isEmpty() || !lock.startsWith(runtimePath)),
                 qPrintable(lock));
        // The folder that holds it is the user's own and closed to everyone else.
        struct stat info {};
        QVERIFY(::lstat(QFile::encodeName(QFileInfo(lock).path()).constData(), &info) == 0);
        QVERIFY(S_ISDIR(info.st_mode));
        QCOMPARE(info.st_uid, geteuid());
        QCOMPARE(info.st_mode & 077, 0u);
        // What was planted stops nobody.
        SingleInstanceGuard guard(lock);
        QVERIFY(guard.acquire());
        SingleInstanceGuard second(lock);
        QVERIFY(!second.acquire());
    }

    void ownRuntimeFolderIsUsed() {
        QTemporaryDir root;
        QVERIFY(root.isValid());
        QVERIFY(::chmod(QFile::encodeName(root.path()).constData(), 0700) == 0);
        ScopedVariable runtimeVariable("XDG_RUNTIME_DIR", QFile::encodeName(root.path()));
        QCOMPARE(SingleInstanceGuard::defaultLockPath(),
                 root.filePath(QStringLiteral("kalmora.lock")));
    }

    // A second start hands its folder to the running program and ends without a window or a
    // box; the running program takes the folder with the checks of a chosen one.
    void secondStartHandsOverItsFolder_data() {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QByteArray>("firstPrints");
        QTest::newRow("no folder: only to the front") << QString() << QByteArray();
        QTest::newRow("a folder") << QStringLiteral("photos") << QByteArray("folder|");
        QTest::newRow("a system folder is refused")
            << QStringLiteral("/etc")
            << QByteArray("box|提醒|不允许操作系统目录，请重新指定其他目录！");
    }
    void secondStartHandsOverItsFolder() {
        QFETCH(QString, folder);
        QFETCH(QByteArray, firstPrints);
        const QString photos = m_dir.filePath(QStringLiteral("photos"));
        QVERIFY(QDir().mkpath(photos));
        if (folder == QLatin1String("photos"))
            folder = photos;
        QProcess first;
        start(first);
        QByteArray line;
        QVERIFY(waitForLine(first, "running", &line));
        QVERIFY(waitForLine(first, "folder|", &line)); // the work folder at load

        QProcess second;
        start(second, folder);
        QVERIFY(second.waitForFinished(15000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(second.readAllStandardOutput(), QByteArray()); // no box, no window

        if (!firstPrints.isEmpty()) {
            QVERIFY(waitForLine(first, firstPrints, &line));
            if (folder == photos)
                QCOMPARE(QString::fromUtf8(line), QStringLiteral("folder|") + photos);
        }
        QCOMPARE(first.state(), QProcess::Running);
        first.kill();
        first.waitForFinished();
        // The refused folder never reached the label.
        const QByteArray rest = first.readAllStandardOutput();
        QVERIFY2(!rest.contains("folder|/etc"), rest.constData());
    }

    void unreachableProgramStillGivesTheMessage() {
        QProcess first;
        start(first);
        QByteArray line;
        QVERIFY(waitForLine(first, "running", &line));
        // The lock is held, but nothing answers at the socket.
        QVERIFY(QFile::remove(m_dir.filePath(QStringLiteral("kalmora.socket"))));

        QProcess second;
        start(second);
        QVERIFY(second.waitForFinished(15000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        const QList<QByteArray> lines = second.readAllStandardOutput().trimmed().split('\n');
        // Exactly one box: no icon, the program's title; no window was opened.
        QCOMPARE(lines.size(), 1);
        QCOMPARE(QString::fromUtf8(lines[0]),
                 QStringLiteral("box|Kalmora|Kalmora已在运行中，但没有响应。|0"));

        QCOMPARE(first.state(), QProcess::Running);
        first.kill();
        first.waitForFinished();
    }

    void folderOnTheCommandLineIsChosen() {
        const QString photos = m_dir.filePath(QStringLiteral("photos"));
        QVERIFY(QDir().mkpath(photos));
        QProcess first;
        start(first, photos);
        QByteArray line;
        QVERIFY(waitForLine(first, "running", &line));
        QVERIFY(waitForLine(first, "folder|" + QFile::encodeName(photos), &line));
        QCOMPARE(QString::fromUtf8(line), QStringLiteral("folder|") + photos);
        first.kill();
        first.waitForFinished();
    }

    void lockOfACrashedInstanceIsTakenOver() {
        QProcess crashed;
        start(crashed);
        QByteArray line;
        QVERIFY(waitForLine(crashed, "running", &line));
        crashed.kill(); // SIGKILL: the lock file stays behind
        crashed.waitForFinished();
        QVERIFY(QFile::exists(lockPath()));

        QProcess next;
        start(next);
        QVERIFY2(waitForLine(next, "running", &line), "the stale lock kept the user out");
        next.kill();
        next.waitForFinished();
    }
};

QTEST_GUILESS_MAIN(SingleInstanceTest)
#include "single_instance_test.moc"
