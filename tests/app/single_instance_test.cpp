#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class SingleInstanceTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString lockPath() const { return m_dir.filePath(QStringLiteral("kalmora.lock")); }

    void start(QProcess &p) {
        p.setProgram(QStringLiteral(PROBE_PATH));
        p.setArguments({lockPath(), m_dir.path()});
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

private slots:
    void secondInstanceShowsTheMessageAndEnds() {
        QProcess first;
        start(first);
        QByteArray line;
        QVERIFY(waitForLine(first, "running", &line));

        QProcess second;
        start(second);
        QVERIFY(second.waitForFinished(15000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        const QList<QByteArray> lines = second.readAllStandardOutput().trimmed().split('\n');
        // Exactly one box: no icon, the program's title; no window was opened.
        QCOMPARE(lines.size(), 1);
        QCOMPARE(QString::fromUtf8(lines[0]), QStringLiteral("box|Kalmora|Kalmora已在运行中！|0"));

        QCOMPARE(first.state(), QProcess::Running);
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
