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
    // A stand-in handed over is put in place or removed, never left behind.
    while (!m_pending.empty())
        next();
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

void ExifToolProcess::dispatch(Pending &pending) {
    if (!m_process && !start()) {
        pending.known = EraseOutcome::ToolFailed;
        return;
    }
    // A temporary name the user already has is not the tool's to clean up after a kill.
    struct stat st;
    pending.temporaryExisted = ::lstat((pending.sent + ToolTemporarySuffix).constData(), &st) == 0;
    // Idle: nothing else written to it is still unanswered (this one may stand in the queue).
    const bool toolIdle = std::none_of(m_pending.begin(), m_pending.end(),
                                       [](const Pending &p) { return p.command != 0; });
    if (toolIdle)
        m_frontSince.start();
    pending.command = ++m_command;
    m_process->write("-overwrite_original\n-all=\n" + pending.sent + "\n-execute" +
                     QByteArray::number(pending.command) + '\n');
}

void ExifToolProcess::send(const QString &path) {
    Pending pending;
    pending.path = PathBytes(path);
    struct stat st;
    if (!regularFile(pending.path, st)) {
        pending.known = EraseOutcome::NotRegularFile;
    } else {
        const qsizetype slash = pending.path.lastIndexOf('/');
        const QByteArray folder = pending.path.left(slash + 1), name = pending.path.mid(slash + 1);
        if (plainLine(pending.path) && name.size() + ToolTemporarySuffix.size() <= NAME_MAX) {
            pending.sent = pending.path;
            dispatch(pending);
        } else {
            standInFor(pending, folder, name);
        }
    }
    m_pending.push_back(std::move(pending));
}

void ExifToolProcess::standInFor(Pending &pending, const QByteArray &folder,
                                 const QByteArray &name) {
    pending.known = EraseOutcome::NameNotPassable;
    if (!plainLine(folder) || !regularFile(pending.path, pending.photo))
        return;
    // A new name of our own in the same folder; link(2) never replaces an existing one.
    QByteArray standIn;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray candidate =
            folder + standInPrefix() + QByteArray::number(++m_standIn) + plainSuffix(name);
        if (::link(pending.path.constData(), candidate.constData()) == 0) {
            standIn = candidate;
            break;
        }
        if (errno != EEXIST)
            break;
    }
    // Someone else's entry under that name now is left alone.
    struct stat linked;
    if (standIn.isEmpty() || !regularFile(standIn, linked) || !sameFile(linked, pending.photo))
        return;
    pending.known.reset();
    pending.sent = standIn;
    pending.standIn = true;
    dispatch(pending);
    if (pending.known) // no tool to take it
        ::unlink(standIn.constData());
}

bool ExifToolProcess::awaitAnswer(Pending &pending) {
    if (!m_process)
        return false;
    const QByteArray ready = "{ready" + QByteArray::number(pending.command) + '}';
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
    m_output += m_process->readAll();
    if (!m_output.contains(ready) && m_process->state() == QProcess::Running) {
        limit.start(int(std::max<qint64>(0, m_timeLimitMs - m_frontSince.elapsed())));
        loop.exec();
    }

    const qsizetype readyAt = m_output.indexOf(ready);
    if (readyAt < 0) {
        // Hung or gone: what comes next gets a fresh tool. A new file it left half-written
        // would make it refuse this photo for good.
        m_process->kill();
        m_process->waitForFinished(1000);
        m_process.reset();
        m_output.clear();
        const QByteArray temporary = pending.sent + ToolTemporarySuffix;
        struct stat st;
        if (!pending.temporaryExisted && regularFile(temporary, st))
            ::unlink(temporary.constData());
        sendAgain();
        return false;
    }
    // The tool goes on with the next command from here.
    m_frontSince.start();
    // A photo the tool could not rewrite may still hold few enough properties to look clean
    // afterwards; its own report of the failure decides then.
    const QByteArray reply = '\n' + m_output.left(readyAt);
    m_output.remove(0, readyAt + ready.size());
    return !reply.contains("\nError:") && !reply.contains("due to errors");
}

// The commands the ended tool had not begun go to a fresh one, each checked again as it is sent.
void ExifToolProcess::sendAgain() {
    for (Pending &p : m_pending) {
        if (p.known || p.command == 0)
            continue;
        p.command = 0;
        struct stat st;
        if (!p.standIn && !regularFile(p.path, st)) {
            p.known = EraseOutcome::NotRegularFile;
            continue;
        }
        if (p.standIn && (!regularFile(p.sent, st) || !sameFile(st, p.photo))) {
            p.known = EraseOutcome::NameNotPassable;
            continue;
        }
        dispatch(p);
        if (p.known && p.standIn) // no tool to take it
            ::unlink(p.sent.constData());
    }
}

EraseOutcome ExifToolProcess::placeStandIn(const Pending &pending, bool answered) {
    EraseOutcome outcome = EraseOutcome::ToolFailed;
    bool placed = false;
    if (answered) {
        // The tool writes a new file under the stand-in's name; it takes the photo's name only
        // while that name still holds the photo that was linked.
        struct stat now, current;
        if (!regularFile(pending.sent, now)) {
            outcome = EraseOutcome::ToolFailed;
        } else if (sameFile(now, pending.photo)) {
            outcome = EraseOutcome::Erased; // nothing to strip, nothing rewritten
        } else if (regularFile(pending.path, current) && sameFile(current, pending.photo) &&
                   ::rename(pending.sent.constData(), pending.path.constData()) == 0) {
            placed = true;
            outcome = EraseOutcome::Erased;
        }
    }
    if (!placed)
        ::unlink(pending.sent.constData());
    return outcome;
}

EraseOutcome ExifToolProcess::next() {
    if (m_pending.empty())
        return EraseOutcome::ToolFailed;
    Pending pending = std::move(m_pending.front());
    m_pending.pop_front();
    if (pending.known)
        return *pending.known;
    // Out of the queue while it is waited for: a kill sends only the ones after it again.
    const bool answered = awaitAnswer(pending);
    if (pending.standIn)
        return placeStandIn(pending, answered);
    return answered ? EraseOutcome::Erased : EraseOutcome::ToolFailed;
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
