#include "core/base/path_bytes.h"

#include <QRandomGenerator>
#include <QTest>

using namespace kalmora;

class PathBytesTest : public QObject {
    Q_OBJECT
private slots:
    void namesKeepTheirBytes_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("foreign");
        QTest::addColumn<QString>("shown");
        QTest::newRow("UTF-8 Chinese") << QByteArray("照片.jpg") << false << "照片.jpg";
        QTest::newRow("four-byte character") << QByteArray("\xF0\x9F\x93\xB7.jpg") << false
                                             << QString::fromUtf8("\xF0\x9F\x93\xB7.jpg");
        QTest::newRow("GBK name shown decoded")
            << QByteArray("\xD5\xD5\xC6\xAC.jpg") << true << "照片.jpg";
        QTest::newRow("GBK and ASCII mixed")
            << QByteArray("IMG_\xB2\xE2\xCA\xD4 1.JPG") << true << "IMG_测试 1.JPG";
        QTest::newRow("undecodable bytes shown escaped") << QByteArray("\xFF\xFE"
                                                                       "a.jpg")
                                                         << true << "\\xFF\\xFEa.jpg";
        QTest::newRow("encoded surrogate is no UTF-8")
            << QByteArray("\xED\xB2\x80.jpg") << true << QString();
        QTest::newRow("overlong slash is no UTF-8") << QByteArray("a\xC0\xAF"
                                                                  "b")
                                                    << true << QString();
        QTest::newRow("sequence cut at the end") << QByteArray("a\xE6\x97") << true << QString();
    }
    void namesKeepTheirBytes() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, foreign);
        QFETCH(QString, shown);
        const QString name = NameFromBytes(bytes);
        QCOMPARE(HasForeignBytes(name), foreign);
        QCOMPARE(PathBytes(name), bytes);
        QCOMPARE(PathBytes(QStringLiteral("/tmp/x/") + name), "/tmp/x/" + bytes);
        if (!foreign)
            QCOMPARE(name, QString::fromUtf8(bytes));
        if (!shown.isEmpty())
            QCOMPARE(DisplayName(name), shown);
        // What is shown is always plain text that the exports and new names can hold.
        QVERIFY(!HasForeignBytes(DisplayName(name)));
    }

    void everyByteStringComesBack() {
        QRandomGenerator random(20261207);
        QSet<QString> names;
        for (int i = 0; i < 20000; ++i) {
            QByteArray bytes(1 + int(random.bounded(12)), Qt::Uninitialized);
            for (char &b : bytes) // mostly high bytes, some ASCII, never NUL or "/"
                b = char(random.bounded(4) == 0 ? 'a' + random.bounded(26)
                                                : 0x80 + random.bounded(0x80));
            const QString name = NameFromBytes(bytes);
            QCOMPARE(PathBytes(name), bytes);
            names.insert(name);
        }
        // Different bytes never share a name.
        QSet<QByteArray> distinct;
        for (const QString &name : names)
            distinct.insert(PathBytes(name));
        QCOMPARE(distinct.size(), names.size());
    }

    void aCharacterPairIsNotAnEscape() {
        // U+10480 is the surrogate pair D801 DC80: its low half is no escaped byte.
        const QString name = QString::fromUtf8("\xF0\x90\x92\x80.jpg");
        QVERIFY(!HasForeignBytes(name));
        QCOMPARE(PathBytes(name), QByteArray("\xF0\x90\x92\x80.jpg"));
    }
};

QTEST_GUILESS_MAIN(PathBytesTest)
#include "path_bytes_test.moc"
