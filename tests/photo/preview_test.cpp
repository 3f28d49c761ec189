#include "core/exif/document_summary.h"
#include "tests/photo/photo_window.h"

#include <QCheckBox>

using namespace kalmora;

class PreviewTest : public QObject {
    Q_OBJECT
private:
    test::PhotoWindow f;
    FMainDate &w() { return f.w(); }

    // A camera photo, with the fields exiftool writes from args.
    QString photo(const QString &name, const QStringList &args = {},
                  test::ByteOrder order = test::ByteOrder::Little,
                  const QByteArray &model = "Cam") {
        f.write(name, test::cameraPhoto(order, "2011:08:27 20:11:00", model).bytes);
        if (!args.isEmpty() && !f.exiftool(QStringList{"-q", "-overwrite_original"} + args +
                                           QStringList{f.path(name)}))
            return {};
        return f.path(name);
    }
    QStringList texts() { return {w().TAuthor->text(), w().TPicMemo->text()}; }

private slots:
    void init() {
        if (f.exiftoolPath().isEmpty())
            QSKIP("exiftool is not installed");
        f.reopen();
    }
    void cleanup() { f.window.reset(); }

    void summary_data() {
        QTest::addColumn<bool>("bigEndian");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("author");
        QTest::addColumn<QString>("comments");
        QTest::newRow("XP fields come first")
            << false
            << QStringList{"-XPAuthor=张三", "-XPComment=西湖日落", "-Artist=Other",
                           "-UserComment=other", "-XMP-dc:Creator=Else"}
            << QStringLiteral("张三") << QStringLiteral("西湖日落");
        QTest::newRow("Artist, then the user comment")
            << false
            << QStringList{"-Artist=李四", "-UserComment=海边的照片", "-ImageDescription=d"}
            << QStringLiteral("李四") << QStringLiteral("海边的照片");
        QTest::newRow("Unicode user comment, big-endian")
            << true << QStringList{"-UserComment=雪山 at dawn"} << QString()
            << QStringLiteral("雪山 at dawn");
        QTest::newRow("image description") << false << QStringList{"-ImageDescription=山水"}
                                           << QString() << QStringLiteral("山水");
        QTest::newRow("XMP only") << true
                                  << QStringList{"-XMP-dc:Creator=王五", "-XMP-dc:Description=湖"}
                                  << QStringLiteral("王五") << QStringLiteral("湖");
        QTest::newRow("blank fields are no text")
            << false << QStringList{"-ImageDescription=   ", "-UserComment= ", "-Artist= "}
            << QString() << QString();
    }
    void summary() {
        QFETCH(bool, bigEndian);
        QFETCH(QStringList, args);
        QFETCH(QString, author);
        QFETCH(QString, comments);
        const QString path = photo(QStringLiteral("p.jpg"), args,
                                   bigEndian ? test::ByteOrder::Big : test::ByteOrder::Little);
        QVERIFY(!path.isEmpty());
        DocumentSummary s;
        QVERIFY(s.open(path));
        QCOMPARE(s.author(), author);
        QCOMPARE(s.comments(), comments);
        f.write(QStringLiteral("x.jpg"), "not a picture");
        QVERIFY(!s.open(f.path(QStringLiteral("x.jpg"))));
    }

    void previewFollowsTheCurrentRow() {
        QVERIFY(
            !photo(QStringLiteral("a.jpg"), {"-XPAuthor=张三", "-XPComment=西湖日落"}).isEmpty());
        photo(QStringLiteral("b.jpg"), {}, test::ByteOrder::Big, ""); // model read as empty
        f.write(QStringLiteral("c.jpg"), test::JpegBuilder().build().bytes);
        f.importPhotos();
        const QStringList off{QStringLiteral("拍摄者：tester。"),
                              QStringLiteral("在此输入照片说明。")};
        const QStringList none{QStringLiteral("拍摄者：相机型号未知"),
                               QStringLiteral("照片说明：无。")};
        QCOMPARE(texts(), off); // Check1 is off

        w().Check1->setChecked(true);
        QCOMPARE(texts(), (QStringList{"拍摄者：Cam，由张三拍摄。", "照片说明：西湖日落"}));
        f.g().selectRow(2);
        QCOMPARE(texts(), none);
        f.g().selectRow(3); // no Exif at all
        QCOMPARE(texts(), none);

        // A file gone since the import: the model stays, the caption is none.
        f.g().selectRow(1);
        QFile::remove(f.path(QStringLiteral("a.jpg")));
        emit w().rowPreviewRequested();
        QCOMPARE(texts(), (QStringList{"拍摄者：Cam", "照片说明：无。"}));

        f.g().setText(1, 0, QString());
        emit w().rowPreviewRequested();
        QCOMPARE(texts(), (QStringList{"拍摄者：未知。", "照片说明：无。"}));

        w().state().workStarted(); // nothing moves while another operation runs
        w().Check1->setChecked(false);
        QCOMPARE(texts(), (QStringList{"拍摄者：未知。", "照片说明：无。"}));
        w().state().workEnded();
        emit w().rowPreviewRequested();
        QCOMPARE(texts(), off);
    }

    void captionDoubleClickAndMemoButton() {
        photo(QStringLiteral("a.jpg"));
        f.importPhotos();
        w().TPicMemo->setText(QStringLiteral("照片说明：两个 词"));
        QTest::mouseDClick(w().TPicMemo, Qt::LeftButton);
        QCOMPARE(w().TPicMemo->selectedText(), w().TPicMemo->text());

        w().CmdPicMemoAdd->click();
        QCOMPARE(f.prompter().texts(),
                 QStringList{
                     "本功能尚未启用，等效于拓展界面中\r\n“编辑文件摘要”功能，有需求者请定制。"});
        QCOMPARE(f.prompter().last().title, QStringLiteral("提示"));
        QCOMPARE(f.prompter().last().icon, MsgIcon::Information);
        w().state().batchClosed();
        w().CmdPicMemoAdd->click();
        QCOMPARE(f.prompter().beeps, 1);
        QCOMPARE(f.prompter().shown.size(), 1);
    }
};

QTEST_MAIN(PreviewTest)
#include "preview_test.moc"
