#include "app/command_line.h"
#include "app/start_main.h"
#include "core/base/path_bytes.h"
#include "gui/platform/real_services.h"

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QLibraryInfo>
#include <QTranslator>

#include <cstdio>

int main(int argc, char *argv[]) {
    // Answered before any window exists: --help and --version need no display.
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args.append(kalmora::NameFromBytes(argv[i])); // a folder's name keeps its exact bytes
    const kalmora::CommandLine command = kalmora::ParseCommandLine(args);
    switch (command.action) {
    case kalmora::CommandLine::Action::Help:
        std::fputs(kalmora::UsageText().toLocal8Bit().constData(), stdout);
        return 0;
    case kalmora::CommandLine::Action::Version:
        std::fputs(kalmora::VersionText().toLocal8Bit().constData(), stdout);
        return 0;
    case kalmora::CommandLine::Action::UsageError:
        std::fputs(
            (command.error + QLatin1Char('\n') + kalmora::UsageText()).toLocal8Bit().constData(),
            stderr);
        return 2;
    case kalmora::CommandLine::Action::Run:
        break;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kalmora"));
    QApplication::setDesktopFileName(QStringLiteral("com.example.Kalmora"));
    QIcon icon(QStringLiteral(":/icons/kalmora.png"));
    icon.addFile(QStringLiteral(":/icons/kalmora-48.png"));
    QApplication::setWindowIcon(icon);
    // Qt's own dialogs and standard buttons in Chinese.
    QTranslator qtTranslator;
    if (qtTranslator.load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                          QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTranslator);
    kalmora::RealServices real;
    kalmora::Services services = real.services();
    // Relative to where the program was started, not to where a running one was.
    const QString folder =
        command.folder.isEmpty() ? QString() : QDir::current().absoluteFilePath(command.folder);
    return kalmora::StartMain(services, kalmora::SingleInstanceGuard::defaultLockPath(), folder);
}
