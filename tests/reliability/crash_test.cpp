// Kills the file-time apply and the rename at random moments (SIGKILL, in a child process) and
// checks that no file is ever caught half-way: every file holds its old or its new stamps, and
// every photo exists under exactly one of its two names, with its content.
#include "filetime/file_times.h"
#include "import/file_list.h"
#include "tests/support/jpeg_builder.h"

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <thread>

using namespace kalmora;

namespace {

constexpr int Files = 50;
constexpr int Kills = 20;
const DateTime Start(2021, 3, 4, 9, 0, 0);

bool writeFile(const QString &path, const QByteArray &bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// One folder of the operation's files and what each may hold afterwards.
struct Batch {
    QTemporaryDir dir;
    QStringList names;                      // in the window's list order
    QHash<QString, FileTimesUpdate> before; // apply: the stamps each file starts with
    QHash<QString, QString> renamed;        // rename: old name -> new name
    QHash<QString, QByteArray> content;
};

void fillForApply(Batch &b) {
    for (int i = 1; i <= Files; ++i) {
        const QString name = QStringLiteral("file %1.dat").arg(i, 2, 10, QLatin1Char('0'));
        QVERIFY(writeFile(b.dir.filePath(name), name.toUtf8()));
        FileTimesUpdate old;
        old.lastWrite = DateTime(2010, 5, 6, 7, 8, 9).addSeconds(3600 * i);
        old.lastAccess = old.lastWrite->addSeconds(30);
        QVERIFY(WriteFileTimes(b.dir.filePath(name), old).outcome() != WriteOutcome::Failure);
        b.before.insert(name, old);
        b.content.insert(name, name.toUtf8());
    }
}

void fillForRename(Batch &b) {
    for (int i = 1; i <= Files; ++i) {
        const QString name = QStringLiteral("DSC%1.jpg").arg(i, 4, 10, QLatin1Char('0'));
        const DateTime taken = DateTime(2011, 8, 27, 20, 0, 0).addSeconds(61 * i);
        const QByteArray photo =
            test::cameraPhoto(i % 2 ? test::ByteOrder::Little : test::ByteOrder::Big,
                              taken.toExifText().toLatin1())
                .bytes;
        QVERIFY(writeFile(b.dir.filePath(name), photo));
        b.renamed.insert(name, taken.toFileNameText() + QStringLiteral(".jpg"));
        b.content.insert(name, photo);
    }
}

QString childPath() {
    return QStringLiteral(BATCH_CHILD_PATH);
}

// The child and what it has printed so far.
struct Child {
    QProcess process;
    QByteArray out;

    // Waits until the child has printed `line` (its operation starts after "running").
    void waitForLine(const QByteArray &line) {
        while (!out.contains(line + '\n')) {
            QVERIFY2(process.state() == QProcess::Running || process.bytesAvailable() > 0,
                     "the child ended early");
            if (process.bytesAvailable() == 0)
                process.waitForReadyRead(60000);
            out += process.readAll();
        }
    }
    void start(const QString &mode, const QString &folder) {
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(childPath(), {mode, folder, Start.toText()});
        QVERIFY2(process.waitForStarted(30000), qPrintable(process.errorString()));
        waitForLine("running");
    }
};

// How many files the run got through, or -1 when a file is neither before nor after.
int filesDone(const QString &mode, const Batch &b, QString &problem) {
    int done = 0;
    for (const QString &name : b.names) {
        if (mode == QLatin1String("apply")) {
            const std::optional<FileTimes> t = ReadFileTimes(b.dir.filePath(name));
            if (!t) {
                problem = name + QStringLiteral(" has gone");
                return -1;
            }
            const FileTimesUpdate &old = b.before.value(name);
            const DateTime planned = Start.addSeconds(60 * qint64(b.names.indexOf(name)));
            if (t->lastWrite == planned && t->lastAccess == planned) {
                ++done;
            } else if (t->lastWrite != old.lastWrite || t->lastAccess != old.lastAccess) {
                problem = name + QStringLiteral(" holds ") + t->lastWrite.toText() +
                          QStringLiteral(" / ") + t->lastAccess.toText();
                return -1;
            }
        } else {
            const bool atOld = QFileInfo::exists(b.dir.filePath(name));
            const QString now = b.renamed.value(name);
            const bool atNew = QFileInfo::exists(b.dir.filePath(now));
            if (atOld == atNew) {
                problem = name + (atOld ? QStringLiteral(" has both names")
                                        : QStringLiteral(" has neither name"));
                return -1;
            }
            if (readFile(b.dir.filePath(atOld ? name : now)) != b.content.value(name)) {
                problem = name + QStringLiteral(" lost its content");
                return -1;
            }
            done += atNew;
        }
    }
    // Nothing else may appear: no temporary file, no copy.
    const int entries =
        int(QDir(b.dir.path())
                .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System)
                .size());
    if (entries != Files) {
        problem = QStringLiteral("the folder holds %1 entries").arg(entries);
        return -1;
    }
    return done;
}

} // namespace

class CrashTest : public QObject {
    Q_OBJECT
private:
    void prepare(const QString &mode, Batch &b) {
        QVERIFY(b.dir.isValid());
        if (mode == QLatin1String("apply"))
            fillForApply(b);
        else
            fillForRename(b);
        FileList list;
        list.setPattern(QStringLiteral("*.*"));
        QVERIFY(list.setPath(b.dir.path()));
        b.names = list.names();
        QCOMPARE(b.names.size(), Files);
    }

private slots:
    void killedAtRandomMoments_data() {
        QTest::addColumn<QString>("mode");
        QTest::newRow("file-time apply") << "apply";
        QTest::newRow("rename by shooting date") << "rename";
    }
    void killedAtRandomMoments() {
        QFETCH(QString, mode);
        const quint32 seed = QRandomGenerator::global()->generate();
        qInfo("random seed %u", seed);
        QRandomGenerator random(seed);

        // Runs to the end: every file changed, and how long the operation takes here (the
        // middle one of three, as a busy machine can stretch any one of them).
        QList<qint64> durations;
        for (int calibration = 0; calibration < 3; ++calibration) {
            Batch b;
            prepare(mode, b);
            Child child;
            child.start(mode, b.dir.path());
            QVERIFY(child.process.waitForFinished(60000));
            child.out += child.process.readAll();
            const qsizetype done = child.out.indexOf("done ");
            QVERIFY(done >= 0);
            durations.append(child.out.mid(done + 5).trimmed().toLongLong());
            QCOMPARE(child.process.exitCode(), 0);
            QString problem;
            QCOMPARE(filesDone(mode, b, problem), Files);
        }

        std::sort(durations.begin(), durations.end());
        const qint64 fullRunUs = durations.at(1);
        int interrupted = 0;
        for (int k = 0; k < Kills; ++k) {
            Batch b;
            prepare(mode, b);
            Child child;
            child.start(mode, b.dir.path());
            // Spread the moments over the whole run, each at a random point of its share.
            const qint64 delayUs = qint64((k + random.generateDouble()) * fullRunUs / Kills);
            std::this_thread::sleep_for(std::chrono::microseconds(delayUs));
            child.process.kill();
            QVERIFY(child.process.waitForFinished(30000));
            QString problem;
            const int done = filesDone(mode, b, problem);
            QVERIFY2(
                done >= 0,
                qPrintable(
                    QStringLiteral("kill %1 after %2 us: %3").arg(k).arg(delayUs).arg(problem)));
            if (done > 0 && done < Files)
                ++interrupted;
        }
        qInfo("%d of %d kills landed in the middle of the batch (full run %lld us)", interrupted,
              Kills, static_cast<long long>(fullRunUs));
        // Otherwise the kills missed the operation and the test proved nothing.
        QVERIFY(interrupted > 0);
    }
};

QTEST_GUILESS_MAIN(CrashTest)
#include "crash_test.moc"
