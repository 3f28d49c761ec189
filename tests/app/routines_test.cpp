#include "core/platform/comm_declare.h"
#include "tests/support/files.h"
#include "tests/support/http_server.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace kalmora;
using Behaviour = test::LoopbackHttpServer::Behaviour;

class RoutinesTest : public QObject {
    Q_OBJECT
private slots:
    void pauseLastsAtLeastTheTimeAsked_data() {
        QTest::addColumn<float>("seconds");
        QTest::newRow("0.002") << 0.002f;
        QTest::newRow("0.02") << 0.02f;
        QTest::newRow("0.3") << 0.3f;
    }
    void pauseLastsAtLeastTheTimeAsked() {
        QFETCH(float, seconds);
        QElapsedTimer t;
        t.start();
        PauseWithEvents(seconds);
        QVERIFY2(t.nsecsElapsed() > qint64(double(seconds) * 1e9),
                 qPrintable(QString::number(t.nsecsElapsed())));
    }

    void pauseHandlesEventsMeanwhile() {
        // A click queued before the pause is handled during it, not after.
        bool handled = false;
        QElapsedTimer t;
        qint64 handledAt = -1;
        t.start();
        QTimer::singleShot(50, this, [&] {
            handled = true;
            handledAt = t.elapsed();
        });
        PauseWithEvents(0.3f);
        QVERIFY(handled);
        QVERIFY(handledAt < 300);
    }

    void pauseOfNothingReturnsAtOnce() {
        QElapsedTimer t;
        t.start();
        PauseWithEvents(-1.0f);
        PauseWithEvents(0.0f);
        QVERIFY(t.elapsed() < 100);
    }

    void shortPath() {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("照片 1.jpg"));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        QCOMPARE(ShortPathOf(file), file);
        QCOMPARE(ShortPathOf(dir.filePath(QStringLiteral("missing.jpg"))), QString());
        QCOMPARE(ShortPathOf(QString()), QString());
    }

    void wideStrings() {
        const wchar_t text[] = L"File last modification date (local) : 2011-08-27 20:11:00 照片";
        QCOMPARE(StringFromWidePointer(text),
                 QStringLiteral("File last modification date (local) : 2011-08-27 20:11:00 照片"));
        QCOMPARE(StringFromWidePointer(L""), QString());
        QCOMPARE(StringFromWidePointer(nullptr), QString());
    }

    void downloadWritesTheExactBytes() {
        test::LoopbackHttpServer server;
        QByteArray body;
        for (int i = 0; i < 300000; ++i)
            body.append(char(i * 7 % 256));
        server.addRoute(QStringLiteral("/uploads/userup/1042/ExifTool.exe"), body);
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("exiftool"));
        QVERIFY(DownloadUrlToFile(server.url(QStringLiteral("/uploads/userup/1042/ExifTool.exe")),
                                  target));
        QFile f(target);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), body);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("exiftool")});
    }

    void failedDownloadLeavesNoFile_data() {
        QTest::addColumn<QString>("what");
        QTest::newRow("404") << "404";
        QTest::newRow("refused connection") << "refused";
        QTest::newRow("server stops mid-body") << "cut";
        QTest::newRow("no data within the time limit") << "stall";
        QTest::newRow("missing target folder") << "folder";
        QTest::newRow("announced length over the limit") << "large";
        QTest::newRow("over the limit without a length") << "large-nolength";
        QTest::newRow("a byte now and then, past the overall limit") << "trickle";
        QTest::newRow("target is a link to the user's file") << "link";
    }
    void failedDownloadLeavesNoFile() {
        QFETCH(QString, what);
        test::LoopbackHttpServer server;
        const QByteArray body(100000, 'x');
        server.addRoute(QStringLiteral("/cut"), body, Behaviour::CutShort);
        server.addRoute(QStringLiteral("/stall"), body, Behaviour::Stall);
        server.addRoute(QStringLiteral("/ok"), body);
        server.addRoute(QStringLiteral("/large"), QByteArray(300000, 'l'));
        server.addRoute(QStringLiteral("/large-nolength"), QByteArray(300000, 'l'),
                        Behaviour::NoLength);
        server.addRoute(QStringLiteral("/trickle"), QByteArray(30, 't'), Behaviour::Trickle);
        QTemporaryDir dir;
        QTemporaryDir elsewhere;
        const QString victim = elsewhere.filePath(QStringLiteral("notes.txt"));
        QString target = dir.filePath(QStringLiteral("exiftool"));
        QString url;
        if (what == QLatin1String("404")) {
            url = server.url(QStringLiteral("/nothing"));
        } else if (what == QLatin1String("refused")) {
            QTcpServer closed;
            QVERIFY(closed.listen(QHostAddress::LocalHost));
            const quint16 port = closed.serverPort();
            closed.close();
            url = QStringLiteral("http://127.0.0.1:%1/x").arg(port);
        } else if (what == QLatin1String("folder")) {
            url = server.url(QStringLiteral("/ok"));
            target = dir.filePath(QStringLiteral("no/such/folder/exiftool"));
        } else if (what == QLatin1String("link")) {
            url = server.url(QStringLiteral("/ok"));
            QVERIFY(test::writeFile(victim, "the user's notes"));
            QVERIFY(QFile::link(victim, target));
        } else {
            url = server.url(QLatin1Char('/') + what);
        }
        // Limits of this test: 0.5 s without data, 2 s in all (the trickle takes 3 s), 200000
        // bytes.
        QVERIFY(!DownloadUrlToFile(url, target, 500, 2000, 200000));
        if (what == QLatin1String("link")) {
            QCOMPARE(test::readFile(victim), QByteArray("the user's notes"));
            QCOMPARE(QFileInfo(target).symLinkTarget(), victim);
            QCOMPARE(server.requests(), 0); // refused before anything was fetched
            return;
        }
        QVERIFY(!QFile::exists(target));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    }
};

QTEST_GUILESS_MAIN(RoutinesTest)
#include "routines_test.moc"
