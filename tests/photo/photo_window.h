#pragma once

// The main window in Exif mode over a temporary folder of photos, and the real exiftool.
#include "core/grid/file_grid.h"
#include "tests/support/jpeg_builder.h"
#include "tests/support/window_fixture.h"

#include <QProcess>
#include <QRadioButton>
#include <QStandardPaths>

namespace kalmora::test {

class PhotoWindow : public WindowFixture {
public:
    FileGrid &g() { return *w().VSFlexGrid1; }

    void reopen() {
        window.reset();
        folder.remove();
        QVERIFY(QDir().mkpath(folder.path()));
        open();
    }
    void write(const QString &name, const QByteArray &bytes) {
        QFile file(path(name));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(bytes), bytes.size());
    }
    QByteArray bytesOf(const QString &name) {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    // Exif mode, then the "*.jpg" files of the folder; the boxes shown so far are forgotten.
    void importPhotos() {
        w().OptExif->setChecked(true);
        w().LDir->setText(folder.path());
        w().File1->setPattern(QStringLiteral("*.jpg"));
        w().CmdInput->setEnabled(true);
        w().CmdInput->click(); // the export question keeps its default, No
        QVERIFY(w().CmdPicDateMod->isEnabled());
        prompter().shown.clear();
    }
    int rowOf(const QString &name) {
        for (int r = 1; r < g().rows(); ++r)
            if (g().text(r, 0) == name)
                return r;
        return -1;
    }

    static QString exiftoolPath() {
        return QStandardPaths::findExecutable(QStringLiteral("exiftool"));
    }
    // exiftool's standard output, or no value when it failed.
    static std::optional<QString> exiftool(const QStringList &args) {
        QProcess tool;
        tool.start(QStringLiteral("exiftool"), args);
        if (!tool.waitForFinished(60000) || tool.exitCode() != 0)
            return std::nullopt;
        return QString::fromUtf8(tool.readAllStandardOutput()).trimmed();
    }
};

} // namespace kalmora::test
