#include "core/exif/exif_tool.h"

#include "core/base/folder_handle.h"
#include "core/base/path_bytes.h"

#include <algorithm>

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTimer>

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <map>
#include <signal.h>
#include <sys/prctl.h>
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

namespace {

// The tool's answer to command N is "{readyN}" at the start of a line, after whatever it printed
// for that command. Finds the first one complete in `output`.
bool answerMark(const QByteArray &output, qsizetype &at, qsizetype &end, int &command) {
    static const QByteArray open = "{ready";
    for (qsizetype from = 0; (at = output.indexOf(open, from)) >= 0; from = at + 1) {
        if (at > 0 && output[at - 1] != '\n')
            continue;
        qsizetype i = at + open.size();
        qint64 number = 0;
        while (i < output.size() && output[i] >= '0' && output[i] <= '9' && number <= INT_MAX)
            number = number * 10 + (output[i++] - '0');
        if (i == output.size())
            return false; // the rest is still to come
        if (i > at + open.size() && output[i] == '}' && number <= INT_MAX) {
            end = i + 1;
            command = int(number);
            return true;
        }
    }
    return false;
}

// How many photos the tool says it rewrote or found with nothing to remove.
qsizetype accountedFor(const QByteArray &reply) {
    static const QRegularExpression summary(
        QStringLiteral(R"(^ *(\d+) image files (?:updated|unchanged) *$)"),
        QRegularExpression::MultilineOption);
    qsizetype count = 0;
    QRegularExpressionMatchIterator it = summary.globalMatch(QString::fromLatin1(reply));
    while (it.hasNext())
        count += it.next().captured(1).toLongLong();
    return count;
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
    // Messages and the "{ready}" answers arrive in one stream, in the order written.
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    // Told to end when this program dies (killed, or crashed): with -stay_open it would wait
    // for commands for ever. An interrupt, which the tool handles: it finishes renaming a photo
    // it has written, or removes the one it was writing, before it ends. The signal follows the
    // thread that starts the tool, which is the one that runs the erase.
    const pid_t parent = ::getpid();
    // Started inside a batch, the tool keeps the batch's folder handle open, so the photos'
    // paths through it (/proc/self/fd/N/…) reach that folder there too, and it can finish or
    // remove its temporary file after this program has died.
    const int folder = InnermostFolderHandle();
    m_process->setChildProcessModifier([parent, folder] {
        if (folder >= 0)
            ::fcntl(folder, F_SETFD, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGINT);
        if (::getppid() != parent) // died before the request was in place
            ::raise(SIGINT);
    });
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

void ExifToolProcess::dispatch(const std::vector<Pending *> &photos) {
    if (!m_process && !start()) {
        for (Pending *p : photos) {
            p->known = EraseOutcome::ToolFailed;
            if (p->standIn) // no tool to take it
                ::unlink(p->sent.constData());
        }
        return;
    }
    // Idle: nothing written to it is still unanswered.
    const bool toolIdle = std::none_of(m_pending.begin(), m_pending.end(),
                                       [](const Pending &p) { return p.command != 0 && !p.known; });
    if (toolIdle)
        m_frontSince.start();
    const int number = ++m_command;
    QByteArray command = "-overwrite_original\n-all=\n";
    for (Pending *p : photos) {
        // A temporary name the user already has is not the tool's to clean up after a kill.
        struct stat st;
        p->temporaryExisted = ::lstat((p->sent + ToolTemporarySuffix).constData(), &st) == 0;
        p->command = number;
        command += p->sent + '\n';
    }
    m_process->write(command + "-execute" + QByteArray::number(number) + '\n');
    // Into the pipe now: QProcess would hold it until events are next handled, and the tool
    // would idle while the caller reads the rows already answered.
    m_process->waitForBytesWritten(0);
}

void ExifToolProcess::send(const QStringList &paths) {
    std::vector<Pending *> group;
    qint64 bytes = 0;
    const auto flush = [&] {
        if (!group.empty())
            dispatch(group);
        group.clear();
        bytes = 0;
    };
    for (const QString &path : paths) {
        Pending &pending = m_pending.emplace_back();
        pending.path = PathBytes(path);
        if (!regularFile(pending.path, pending.photo)) {
            pending.known = EraseOutcome::NotRegularFile;
            continue;
        }
        const qsizetype slash = pending.path.lastIndexOf('/');
        const QByteArray folder = pending.path.left(slash + 1), name = pending.path.mid(slash + 1);
        if (plainLine(pending.path) && name.size() + ToolTemporarySuffix.size() <= NAME_MAX) {
            pending.sent = pending.path;
            if (qsizetype(group.size()) >= GroupPhotos ||
                (!group.empty() && bytes + pending.photo.st_size > GroupBytes))
                flush();
            group.push_back(&pending);
            bytes += pending.photo.st_size;
        } else {
            flush(); // the tool takes the photos in the order handed over
            standInFor(pending, folder, name);
        }
    }
    flush();
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
    // Alone: a redo of its command must find the link as it was made.
    pending.alone = true;
    dispatch({&pending});
}

std::vector<ExifToolProcess::Pending *> ExifToolProcess::membersOf(int command) {
    std::vector<Pending *> members;
    for (Pending &p : m_pending)
        if (p.command == command && !p.known)
            members.push_back(&p);
    return members;
}

// Each photo checked again as it is sent.
void ExifToolProcess::redispatch(std::vector<Pending *> photos, bool oneByOne) {
    std::vector<Pending *> again;
    for (Pending *p : photos) {
        p->command = 0;
        struct stat st;
        if (!p->standIn && !regularFile(p->path, st)) {
            p->known = EraseOutcome::NotRegularFile;
        } else if (p->standIn && (!regularFile(p->sent, st) || !sameFile(st, p->photo))) {
            p->known = EraseOutcome::NameNotPassable;
        } else if (oneByOne) {
            p->alone = true;
            dispatch({p});
        } else {
            again.push_back(p);
        }
    }
    if (!again.empty())
        dispatch(again);
}

void ExifToolProcess::settle(int command, const QByteArray &reply) {
    const std::vector<Pending *> members = membersOf(command);
    if (members.empty())
        return;
    // A photo the tool could not rewrite may still hold few enough properties to look clean
    // afterwards; its own report of the failure decides then.
    const bool clean = !reply.contains("\nError:") && !reply.contains("due to errors");
    // The tool names a failed photo only in its message text: a group with anything amiss is
    // redone photo by photo. A photo it had already rewritten then has nothing left to remove,
    // and the tool leaves it as it is.
    if (members.size() > 1 && !(clean && accountedFor(reply) == qsizetype(members.size()))) {
        redispatch(members, true);
        return;
    }
    for (Pending *p : members)
        p->known = p->standIn ? placeStandIn(*p, clean)
                              : (clean ? EraseOutcome::Erased : EraseOutcome::ToolFailed);
}

void ExifToolProcess::awaitAnswer() {
    qsizetype at = 0, end = 0;
    int number = 0;
    if (m_process) {
        QEventLoop loop;
        QTimer limit;
        limit.setSingleShot(true);
        QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
        // Woken by the answer itself: no polling interval between the tool and the rows.
        QObject::connect(m_process.get(), &QProcess::readyRead, &loop, [&] {
            m_output += m_process->readAll();
            if (answerMark(m_output, at, end, number))
                loop.quit();
        });
        QObject::connect(m_process.get(), &QProcess::finished, &loop, &QEventLoop::quit);
        m_output += m_process->readAll();
        if (!answerMark(m_output, at, end, number) && m_process->state() == QProcess::Running) {
            limit.start(int(std::max<qint64>(0, m_timeLimitMs - m_frontSince.elapsed())));
            loop.exec();
        }
    }
    bool answered = false;
    while (answerMark(m_output, at, end, number)) {
        const QByteArray reply = '\n' + m_output.left(at);
        m_output.remove(0, end);
        // The tool goes on with the next command from here.
        m_frontSince.start();
        settle(number, reply);
        answered = true;
    }
    if (!answered)
        cutOff();
}

// No answer in time, or the tool is gone: it is ended, the command it was on is redone photo by
// photo (a single photo fails), and the commands behind it go to a fresh tool.
void ExifToolProcess::cutOff() {
    if (m_process) {
        m_process->kill();
        m_process->waitForFinished(1000);
        m_process.reset();
    }
    m_output.clear();
    int front = INT_MAX;
    for (const Pending &p : m_pending)
        if (p.command != 0 && !p.known)
            front = std::min(front, p.command);
    if (front == INT_MAX)
        return;
    const std::vector<Pending *> cut = membersOf(front);
    std::map<int, std::vector<Pending *>> behind;
    for (Pending &p : m_pending)
        if (p.command != 0 && p.command != front && !p.known)
            behind[p.command].push_back(&p);
    // None of them is with a tool now: the next one written starts the clock afresh.
    for (Pending &p : m_pending)
        p.command = p.known ? p.command : 0;
    for (Pending *p : cut) {
        // A new file the tool left half-written would make it refuse this photo for good.
        const QByteArray temporary = p->sent + ToolTemporarySuffix;
        struct stat st;
        if (!p->temporaryExisted && regularFile(temporary, st))
            ::unlink(temporary.constData());
    }
    if (cut.size() > 1) {
        redispatch(cut, true);
    } else {
        for (Pending *p : cut)
            p->known = p->standIn ? placeStandIn(*p, false) : EraseOutcome::ToolFailed;
    }
    for (const auto &[number, photos] : behind)
        redispatch(photos, false);
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
    // Every photo handed over is settled or in a command the tool has; answers settle whole
    // commands, in the tool's order.
    Pending &front = m_pending.front();
    while (!front.known && front.command != 0)
        awaitAnswer();
    if (!front.known) // never reached the tool
        front.known = EraseOutcome::ToolFailed;
    const EraseOutcome outcome = *front.known;
    m_pending.pop_front();
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
