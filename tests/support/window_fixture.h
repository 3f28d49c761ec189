#pragma once

// The main window on test doubles, with a temporary folder of real files. Header-only: only
// suites that link the widgets library include it.
#include "core/filetime/file_times.h"
#include "core/import/file_list.h"
#include "gui/window/main_window.h"
#include "tests/support/doubles.h"

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace kalmora::test {

class WindowFixture {
public:
    QTemporaryDir folder;
    std::unique_ptr<TestServices> doubles;
    std::unique_ptr<Services> services;
    std::unique_ptr<FMainDate> window;

    void open(const DateTime &now = DateTime(2011, 1, 1, 9, 0, 0)) {
        window.reset();
        doubles = std::make_unique<TestServices>();
        doubles->clock.time = now;
        services = std::make_unique<Services>(doubles->services());
        AppValues values;
        values.WorkFolder = folder.path();
        window = std::make_unique<FMainDate>(*services, values);
    }
    FMainDate &w() { return *window; }
    ScriptedPrompter &prompter() { return doubles->prompter; }

    QString path(const QString &name) const { return folder.filePath(name); }

    // A file with the given modification and access times.
    void makeFile(const QString &name, const DateTime &modified, const DateTime &accessed,
                  const QByteArray &content = "content") {
        QFile f(path(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
        f.close();
        FileTimesUpdate u;
        u.lastWrite = modified;
        u.lastAccess = accessed;
        QVERIFY(WriteFileTimes(path(name), u).outcome() != WriteOutcome::Failure);
    }

    static void setTexts(std::initializer_list<QLineEdit *> fields, const QStringList &texts) {
        qsizetype i = 0;
        for (QLineEdit *f : fields)
            f->setText(texts.value(i++));
    }
    // Start fields, then end fields; keep the end hour at or after the start hour, as the
    // hour coupling insists.
    void setWindow(const DateTime &start, const DateTime &end) {
        auto parts = [](const DateTime &d) {
            auto two = [](int v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); };
            return QStringList{
                QString::number(d.year()), two(d.month()), two(d.day()), two(d.hour()),
                two(d.minute()),           two(d.second())};
        };
        setTexts({w().TEndY, w().TEndM, w().TEndD, w().TEndH, w().TEndMin, w().TEndSec},
                 parts(end));
        setTexts({w().TStartY, w().TStartM, w().TStartD, w().TStartH, w().TStartMin, w().TStartSec},
                 parts(start));
        setTexts({w().TEndY, w().TEndM, w().TEndD, w().TEndH, w().TEndMin, w().TEndSec},
                 parts(end));
    }

    // Points the window at the folder, fixes the window and imports (answering No to the
    // export question unless told otherwise).
    void importFolder(const QString &pattern = QStringLiteral("*.*")) {
        w().LDir->setText(folder.path());
        w().File1->setPattern(pattern);
        if (w().CmdTimeZone->text() == QStringLiteral("设定时间区间"))
            w().CmdTimeZone->click();
        QVERIFY(w().CmdInput->isEnabled());
        w().CmdInput->click();
    }
};

} // namespace kalmora::test
