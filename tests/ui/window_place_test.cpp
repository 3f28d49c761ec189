// The main window's first place on two screens as a desktop reports them (the offscreen
// platform configured with a 1280x720 screen, which 1920x1080 at 150% also is, and a second one
// to its right): it fits the first whole, frame and title bar included; a place kept from last
// time comes back only where it still fits a screen.
#include "core/platform/app_values.h"
#include "gui/window/main_window.h"
#include "gui/window/window_place.h"
#include "tests/support/doubles.h"

#include <QApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

using namespace kalmora;

class WindowPlaceTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<test::TestServices> doubles = std::make_unique<test::TestServices>();
    Services services = doubles->services();
    QTemporaryDir work;
    std::unique_ptr<FMainDate> window() {
        AppValues values;
        values.WorkFolder = work.path();
        return std::make_unique<FMainDate>(services, values);
    }

private slots:
    void firstStartFitsTheSmallScreen() {
        QCOMPARE(QGuiApplication::primaryScreen()->availableGeometry(), QRect(0, 0, 1280, 720));
        const auto w = window();
        PlaceMainWindow(*w, services.settings);
        const QRect frame = w->geometry().adjusted(-8, -40, 8, 8);
        QVERIFY2(QRect(0, 0, 1280, 720).contains(frame), qPrintable(QStringLiteral("%1,%2 %3x%4")
                                                                        .arg(frame.x())
                                                                        .arg(frame.y())
                                                                        .arg(frame.width())
                                                                        .arg(frame.height())));
    }

    void keptPlaceComesBackWhereItFits() {
        const auto w = window();
        w->setGeometry(1400, 100, 1300, 650); // on the second screen
        RememberMainWindowPlace(*w, services.settings);
        const auto again = window();
        PlaceMainWindow(*again, services.settings);
        QCOMPARE(again->geometry(), QRect(1400, 100, 1300, 650));

        // That screen is gone (kept beyond any screen now): placed afresh on the first.
        services.settings.setValue(QStringLiteral("Window"), QStringLiteral("Geometry"),
                                   QStringLiteral("5000,100,1300,650"));
        const auto moved = window();
        PlaceMainWindow(*moved, services.settings);
        QVERIFY(QRect(0, 0, 1280, 720).contains(moved->geometry()));
    }
};

int main(int argc, char **argv) {
    QTemporaryDir config;
    const QString file = config.filePath(QStringLiteral("screens.json"));
    QFile json(file);
    if (!json.open(QIODevice::WriteOnly) || json.write(R"({"screens": [
            {"name": "small", "x": 0, "y": 0, "width": 1280, "height": 720, "logicalDpi": 96},
            {"name": "wide", "x": 1280, "y": 0, "width": 1920, "height": 1080, "logicalDpi": 96}
        ]})") < 0)
        return 1;
    json.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(file));
    QApplication app(argc, argv);
    WindowPlaceTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "window_place_test.moc"
