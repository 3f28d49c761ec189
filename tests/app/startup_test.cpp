#include "app/command_line.h"
#include "core/platform/app_values.h"
#include "tests/support/doubles.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace kalmora;

class StartupTest : public QObject {
    Q_OBJECT
private slots:
    void hostIsWin7OrAbove() {
        // This host reports an NT-family system of major version 10.
        ProcessEnvironment env;
        QCOMPARE(GetSysTemVerNum(env), QStringLiteral("Win7OrAbove"));
    }

    // The work folder: below Program Files the program-data folder, elsewhere the program's own.
    void workFolder_data() {
        QTest::addColumn<int>("major");
        QTest::addColumn<QString>("programFiles"); // relative to the temporary root; "-": unset
        QTest::addColumn<QString>("program");      // relative to the temporary root
        QTest::addColumn<bool>("usesData");
        QTest::newRow("Tool below Program Files") << 10 << "Program Files"
                                                  << "Program Files/Tool" << true;
        QTest::newRow("Tool on another drive") << 10 << "Program Files"
                                               << "other/Tool" << false;
        QTest::newRow("NT 6 already uses the data folder") << 6 << "Program Files"
                                                           << "Program Files/Tool" << true;
        QTest::newRow("older system keeps the program folder") << 5 << "Program Files"
                                                               << "Program Files/Tool" << false;
        QTest::newRow("substring test is case-sensitive") << 10 << "Program Files"
                                                          << "program files/Tool" << false;
    }
    void workFolder() {
        QFETCH(int, major);
        QFETCH(QString, programFiles);
        QFETCH(QString, program);
        QFETCH(bool, usesData);
        QTemporaryDir root;
        QVERIFY(root.isValid());
        test::FakeEnvironment env;
        env.version = OsVersionInfo{2, major, 1};
        env.variables.insert(QStringLiteral("ProgramFiles"), root.filePath(programFiles));
        env.variables.insert(QStringLiteral("ProgramData"), root.filePath(QStringLiteral("Data")));
        env.program = root.filePath(program);

        const AppValues v = ComputeAppValues(env);
        const QString dataFolder = root.filePath(QStringLiteral("Data/Tool"));
        QCOMPARE(v.WorkFolder, usesData ? dataFolder : env.program);
        // No folder is made at start.
        QVERIFY(!QFileInfo::exists(dataFolder));
        QCOMPARE(v.IsWin7OrAbove, major >= 6);
        if (major >= 6) {
            QCOMPARE(v.AppFolderName, QStringLiteral("Tool"));
            QCOMPARE(v.ProgramDataDir, root.filePath(QStringLiteral("Data")));
        } else {
            QVERIFY(v.ProgramDataDir.isEmpty());
            QVERIFY(v.AppFolderName.isEmpty());
        }
    }

    // Without the variables: the per-user data folder stands in for ProgramData, and the system
    // prefixes for Program Files.
    void workFolderWithoutVariables_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("dataName");
        QTest::addColumn<bool>("usesData");
        QTest::newRow("installed in /opt") << "/opt/Kalmora"
                                           << "Kalmora" << true;
        QTest::newRow("installed in /usr/bin") << "/usr/bin"
                                               << "Kalmora" << true;
        QTest::newRow("a build folder") << "/home/u/src/build"
                                        << "Kalmora" << false;
        QTest::newRow("/optical is not /opt") << "/optical/Tool"
                                              << "Kalmora" << false;
    }
    void workFolderWithoutVariables() {
        QFETCH(QString, program);
        QFETCH(QString, dataName);
        QFETCH(bool, usesData);
        QTemporaryDir root;
        test::FakeEnvironment env;
        env.program = program;
        env.dataFolder = root.path();
        const AppValues v = ComputeAppValues(env);
        QCOMPARE(v.WorkFolder, usesData ? root.path() + QLatin1Char('/') + dataName : program);
        // No folder is made at start, none named after the program's own folder either.
        QVERIFY(QDir(root.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
        // The exports go to the documents folder's "Kalmora", made when they are written.
        env.documents = root.filePath(QStringLiteral("Documents"));
        const AppValues withDocuments = ComputeAppValues(env);
        QCOMPARE(ExportFolderOf(withDocuments), env.documents + QStringLiteral("/Kalmora"));
        QVERIFY(!QFileInfo::exists(env.documents));
        QVERIFY(v.ProgramFilesDir.isEmpty());
        QVERIFY(v.WinDir.isEmpty());
    }

    void commandLine_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("folder");
        using A = CommandLine::Action;
        QTest::newRow("no arguments") << QStringList{} << int(A::Run) << "";
        QTest::newRow("a folder") << QStringList{"/home/u/照片"} << int(A::Run) << "/home/u/照片";
        QTest::newRow("help wins over a folder")
            << QStringList{"/a", "--help"} << int(A::Help) << "/a";
        QTest::newRow("short version") << QStringList{"-v"} << int(A::Version) << "";
        QTest::newRow("Qt's own option and its value are Qt's")
            << QStringList{"-platform", "offscreen", "/a"} << int(A::Run) << "/a";
        QTest::newRow("Qt's option without its value")
            << QStringList{"-style"} << int(A::UsageError) << "";
        QTest::newRow("unknown option") << QStringList{"--bogus", "/a"} << int(A::UsageError) << "";
        QTest::newRow("two folders") << QStringList{"/a", "/b"} << int(A::UsageError) << "";
        QTest::newRow("a folder named like an option after --")
            << QStringList{"--", "-v"} << int(A::Run) << "-v";
    }
    void commandLine() {
        QFETCH(QStringList, args);
        QFETCH(int, action);
        QFETCH(QString, folder);
        const CommandLine c = ParseCommandLine(args);
        QCOMPARE(int(c.action), action);
        QCOMPARE(c.folder, folder);
        QCOMPARE(c.error.isEmpty(), c.action != CommandLine::Action::UsageError);
    }

    void environmentValuesAreTaken() {
        QTemporaryDir root;
        test::FakeEnvironment env;
        env.dataFolder = root.path();
        env.variables.insert(QStringLiteral("windir"), QStringLiteral("/win"));
        env.variables.insert(QStringLiteral("ProgramFiles"), QStringLiteral("/pf"));
        const AppValues v = ComputeAppValues(env);
        QCOMPARE(v.WinDir, QStringLiteral("/win"));
        QCOMPARE(v.ProgramFilesDir, QStringLiteral("/pf"));
        QCOMPARE(v.OsVersionName, QStringLiteral("Win7OrAbove"));
    }
};

QTEST_GUILESS_MAIN(StartupTest)
#include "startup_test.moc"
