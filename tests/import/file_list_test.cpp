#include "core/base/text_export.h"
#include "core/import/file_list.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace kalmora;

class FileListTest : public QObject {
    Q_OBJECT
private slots:
    void patterns_data() {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("matches");
        QTest::newRow("case ignored") << "*.jpg"
                                      << "IMG_0001.JPG" << true;
        QTest::newRow("one of several") << "*.jpeg;*.jpe;*.jpg"
                                        << "a.jpe" << true;
        QTest::newRow("not a prefix match") << "*.jp"
                                            << "a.jpg" << false;
        QTest::newRow("*.* takes names without a dot") << "*.*"
                                                       << "README" << true;
        QTest::newRow("blanks around patterns") << " *.avi ; *.mov "
                                                << "clip.MOV" << true;
        QTest::newRow("question mark") << "IMG_?.jpg"
                                       << "IMG_7.jpg" << true;
        QTest::newRow("Chinese name") << "*.jpg"
                                      << "照片 1.jpg" << true;
        QTest::newRow("empty pattern") << ""
                                       << "a.jpg" << false;
        QTest::newRow("brackets are characters") << "*[1].jpg"
                                                 << "a[1].jpg" << true;
        QTest::newRow("brackets are not a set") << "*[1].jpg"
                                                << "a1.jpg" << false;
        QTest::newRow("lone bracket") << "*.["
                                      << "x.[" << true;
        QTest::newRow("stars share the name") << "*ab*ba*"
                                              << "aba" << false;
    }
    void patterns() {
        QFETCH(QString, pattern);
        QFETCH(QString, name);
        QFETCH(bool, matches);
        QCOMPARE(FilePattern(pattern).matches(name), matches);
    }

    // Letters compare as Unicode case folding has them, ASCII or not: every pair of characters
    // from the ASCII and Latin ranges, and a few beyond, against the folding of Qt's tables.
    void lettersCompareFolded() {
        QList<char16_t> chars;
        for (char16_t c = 0x20; c < 0x250; ++c)
            chars.append(c);
        for (const char16_t c : {u'\u0130', u'\u212A', u'\u0391', u'\u03B1', u'\u0410', u'\u0430',
                                 u'\u7167', u'\uFF21', u'\uFF41'})
            chars.append(c);
        for (const char16_t x : chars) {
            for (const char16_t y : chars) {
                if (QChar(x).isDigit() || QChar(y).isDigit())
                    continue;
                const QString a = QStringLiteral("n") + QChar(x),
                              b = QStringLiteral("n") + QChar(y);
                const char16_t fx = QChar(x).toCaseFolded().unicode(),
                               fy = QChar(y).toCaseFolded().unicode();
                const bool want = fx != fy ? fx < fy : a < b;
                if (NaturalLess(a, b) != want)
                    QFAIL(qPrintable(QStringLiteral("U+%1 against U+%2")
                                         .arg(int(x), 4, 16, QLatin1Char('0'))
                                         .arg(int(y), 4, 16, QLatin1Char('0'))));
            }
        }
    }

    void listsRegularVisibleFilesInFileManagerOrder() {
        QTemporaryDir dir;
        for (const char *name :
             {"IMG_10.jpg", "img_2.JPG", "IMG_1.jpg", ".hidden.jpg", "notes.txt", "b.jpg"}) {
            QFile f(dir.filePath(QString::fromUtf8(name)));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder.jpg")));
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("b.jpg")),
                            dir.filePath(QStringLiteral("link.jpg"))));
        FileList list;
        QSignalSpy changed(&list, &FileList::changed);
        list.setPattern(QStringLiteral("*.jpg"));
        QVERIFY(list.setPath(dir.path()));
        QCOMPARE(list.names(), (QStringList{"b.jpg", "IMG_1.jpg", "img_2.JPG", "IMG_10.jpg"}));
        QVERIFY(changed.count() >= 1);
        QVERIFY(!list.setPath(dir.filePath(QStringLiteral("missing"))));
        QCOMPARE(list.path(), dir.path());
        QCOMPARE(list.count(), 4);
    }

    // Listed in pieces with a pause between them, a large folder comes out in the same order as
    // listed in one piece.
    void listingInPiecesKeepsTheOrder() {
        QTemporaryDir dir;
        for (int i = 1300; i >= 1; --i) {
            QFile f(dir.filePath(i % 3 ? QStringLiteral("IMG_%1.jpg").arg(i)
                                       : QStringLiteral("img_%1.JPG").arg(i, 5, 10, QChar('0'))));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        FileList list;
        list.setPattern(QStringLiteral("*.jpg"));
        QVERIFY(list.setPath(dir.path()));
        const QStringList whole = list.names();
        QCOMPARE(whole.size(), 1300);
        int pauses = 0;
        list.refresh([&] { ++pauses; });
        QVERIFY(pauses >= 3);
        QCOMPARE(list.names(), whole);
        QVERIFY(std::is_sorted(whole.begin(), whole.end(), NaturalLess));

        // The window handles events between the pieces; one that changes the pattern lists anew
        // and its list stands.
        QVERIFY(QFile(dir.filePath(QStringLiteral("z.png"))).open(QIODevice::WriteOnly));
        bool changed = false;
        list.refresh([&] {
            if (!std::exchange(changed, true))
                list.setPattern(QStringLiteral("*.png"));
        });
        QCOMPARE(list.names(), QStringList{QStringLiteral("z.png")});
    }

    void gb18030RoundTrips() {
        const QString text = QStringLiteral("文件路径\t照片 € 𠀀 abc\r\n");
        const auto bytes = EncodeGb18030(text);
        QVERIFY(bytes);
        QCOMPARE(bytes->left(4), QByteArray("\xCE\xC4\xBC\xFE")); // 文件 as GBK
        QCOMPARE(DecodeGb18030(*bytes).value(), text);
    }

    void exportAppearsOnlyWhenComplete() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("out.txt"));
        {
            TextExport e(path);
            QVERIFY(e.open());
            QVERIFY(e.writeLine(QStringLiteral("a")));
            QVERIFY(!QFile::exists(path)); // nothing half-written is visible
            QVERIFY(e.commit());
        }
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("a\r\n"));
        TextExport nowhere(dir.filePath(QStringLiteral("no/such/out.txt")));
        QVERIFY(!nowhere.open());
        QVERIFY(!nowhere.writeLine(QStringLiteral("a")));
        QVERIFY(!nowhere.commit());
    }
};

QTEST_GUILESS_MAIN(FileListTest)
#include "file_list_test.moc"
