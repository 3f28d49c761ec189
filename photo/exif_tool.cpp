#include "photo/exif_tool.h"

#include "app/path_bytes.h"

#include <algorithm>

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

#include <cerrno>
#include <climits>
#include <sys/stat.h>
#include <unistd.h>

namespace kalmora {

QString EraseResultText(EraseOutcome outcome, bool clean) {
    switch (outcome) {
    case EraseOutcome::Erased:
        return clean ? QString() : QStringLiteral("抹除失败");
    case EraseOutcome::ToolFailed:
        return QStringLiteral("抹除失败");
    case EraseOutcome::NotRegularFile:
        return QStringLiteral("抹除失败(不是普通文件)");
    case EraseOutcome::NameNotPassable:
        return QStringLiteral("抹除失败(文件名无法安全传递)");
    }
    return QStringLiteral("抹除失败");
}

namespace {

// The name exiftool writes its new file to before it puts it in the photo's place.
const QByteArray ToolTemporarySuffix = "_exiftool_tmp";

bool regularFile(const QByteArray &path, struct stat &st) {
    return ::lstat(path.constData(), &st) == 0 && S_ISREG(st.st_mode);
}
bool sameFile(const struct stat &a, const struct stat &b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// A line the tool takes as it stands: absolute, so no leading blank, "#" or "-" counts, and
// without the control characters that end or change a line.
bool plainLine(const QByteArray &path) {
    if (!path.startsWith('/'))
        return false;
    return std::none_of(path.begin(), path.end(),
                        [](char c) { return uchar(c) < 0x20 || uchar(c) == 0x7f; });
}

// The stand-in keeps a plain extension, which the tool may go by.
QByteArray plainSuffix(const QByteArray &name) {
    const qsizetype dot = name.lastIndexOf('.');
    if (dot <= 0)
        return {};
    const QByteArray suffix = name.mid(dot + 1);
    const bool plain =
        !suffix.isEmpty() && suffix.size() <= 8 &&
        std::all_of(suffix.begin(), suffix.end(), [](char c) {
            return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        });
    return plain ? '.' + suffix : QByteArray();
}

} // namespace

ExifToolProcess::ExifToolProcess(const QString &program, int timeLimitMs)
    : m_program(program), m_timeLimitMs(timeLimitMs) {}

ExifToolProcess::~ExifToolProcess() {
    stop();
}

bool ExifToolProcess::start() {
    m_process = std::make_unique<QProcess>();
    // Messages and the "{ready}" answers arrive in one stream; only the answers matter.
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    m_process->start(m_program, {QStringLiteral("-stay_open"), QStringLiteral("True"),
                                 QStringLiteral("-@"), QStringLiteral("-")});
    if (!m_process->waitForStarted(m_timeLimitMs)) {
        m_process.reset();
        return false;
    }
    m_output.clear();
    return true;
}

void ExifToolProcess::stop() {
    if (!m_process)
        return;
    if (m_process->state() == QProcess::Running) {
        m_process->write("-stay_open\nFalse\n");
        m_process->closeWriteChannel();
        if (!m_process->waitForFinished(3000)) {
            m_process->kill();
            m_process->waitForFinished(1000);
        }
    }
    m_process.reset();
}

bool ExifToolProcess::run(const QByteArray &path) {
    if (!m_process && !start())
        return false;
    // A temporary name the user already has is not the tool's to clean up after a kill.
    const QByteArray temporary = path + ToolTemporarySuffix;
    struct stat st;
    const bool temporaryExisted = ::lstat(temporary.constData(), &st) == 0;
    const QByteArray ready = "{ready" + QByteArray::number(++m_command) + '}';
    m_process->write("-overwrite_original\n-all=\n" + path + "\n-execute" +
                     QByteArray::number(m_command) + '\n');

    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(m_process.get(), &QProcess::readyRead, &loop, [&] {
        m_output += m_process->readAll();
        if (m_output.contains(ready))
            loop.quit();
    });
    QObject::connect(m_process.get(), &QProcess::finished, &loop, &QEventLoop::quit);
    limit.start(m_timeLimitMs);
    m_output += m_process->readAll();
    if (!m_output.contains(ready) && m_process->state() == QProcess::Running)
        loop.exec();

    const qsizetype readyAt = m_output.indexOf(ready);
    const bool answered = readyAt >= 0;
    if (!answered) {
        // Hung or gone: the next photo gets a fresh tool. A new file it left half-written
        // would make it refuse this photo for good.
        m_process->kill();
        m_process->waitForFinished(1000);
        m_process.reset();
        if (!temporaryExisted && regularFile(temporary, st))
            ::unlink(temporary.constData());
    }
    // A photo the tool could not rewrite may still hold few enough properties to look clean
    // afterwards; its own report of the failure decides then.
    const QByteArray reply = '\n' + m_output.left(std::max<qsizetype>(readyAt, 0));
    const bool refused = reply.contains("\nError:") || reply.contains("due to errors");
    m_output.clear();
    return answered && !refused;
}

EraseOutcome ExifToolProcess::erase(const QString &path) {
    const QByteArray bytes = PathBytes(path);
    struct stat st;
    if (!regularFile(bytes, st))
        return EraseOutcome::NotRegularFile;
    const qsizetype slash = bytes.lastIndexOf('/');
    const QByteArray folder = bytes.left(slash + 1), name = bytes.mid(slash + 1);
    if (plainLine(bytes) && name.size() + ToolTemporarySuffix.size() <= NAME_MAX)
        return run(bytes) ? EraseOutcome::Erased : EraseOutcome::ToolFailed;
    return eraseThroughStandIn(bytes, folder, name);
}

EraseOutcome ExifToolProcess::eraseThroughStandIn(const QByteArray &path, const QByteArray &folder,
                                                  const QByteArray &name) {
    struct stat photo;
    if (!plainLine(folder) || !regularFile(path, photo))
        return EraseOutcome::NameNotPassable;
    // A new name of our own in the same folder; link(2) never replaces an existing one.
    QByteArray standIn;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray candidate =
            folder + standInPrefix() + QByteArray::number(++m_standIn) + plainSuffix(name);
        if (::link(path.constData(), candidate.constData()) == 0) {
            standIn = candidate;
            break;
        }
        if (errno != EEXIST)
            break;
    }
    // Someone else's entry under that name now is left alone.
    struct stat linked;
    if (standIn.isEmpty() || !regularFile(standIn, linked) || !sameFile(linked, photo))
        return EraseOutcome::NameNotPassable;

    EraseOutcome outcome = EraseOutcome::ToolFailed;
    bool placed = false;
    if (run(standIn)) {
        // The tool writes a new file under the stand-in's name; it takes the photo's name only
        // while that name still holds the photo that was linked.
        struct stat now, current;
        if (!regularFile(standIn, now)) {
            outcome = EraseOutcome::ToolFailed;
        } else if (sameFile(now, photo)) {
            outcome = EraseOutcome::Erased; // nothing to strip, nothing rewritten
        } else if (regularFile(path, current) && sameFile(current, photo) &&
                   ::rename(standIn.constData(), path.constData()) == 0) {
            placed = true;
            outcome = EraseOutcome::Erased;
        }
    }
    if (!placed)
        ::unlink(standIn.constData());
    return outcome;
}

QString LocateExifTool(const QString &searchPath, const QString &workFolder) {
    const QStringList folders = searchPath.split(QDir::listSeparator(), Qt::SkipEmptyParts);
    if (!folders.isEmpty()) {
        const QString found = QStandardPaths::findExecutable(QStringLiteral("exiftool"), folders);
        if (!found.isEmpty())
            return found;
    }
    // Our own download only: a link or another user's file there was not put there by us.
    const QString own = workFolder + QStringLiteral("/exiftool");
    struct stat st;
    return regularFile(QFile::encodeName(own), st) && st.st_uid == ::geteuid() &&
                   QFileInfo(own).isExecutable()
               ? own
               : QString();
}

} // namespace kalmora
