#include "photo/exif_tool.h"

#include <algorithm>

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

namespace kalmora {

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

bool ExifToolProcess::eraseAll(const QString &path) {
    if (!m_process && !start())
        return false;
    const QByteArray ready = "{ready" + QByteArray::number(++m_command) + '}';
    m_process->write("-overwrite_original\n-all=\n" + ExifToolArgumentLine(path) + "-execute" +
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
        // Hung or gone: the next photo gets a fresh tool.
        m_process->kill();
        m_process->waitForFinished(1000);
        m_process.reset();
    }
    // A photo the tool could not rewrite may still hold few enough properties to look clean
    // afterwards; its own report of the failure decides then.
    const QByteArray reply = '\n' + m_output.left(std::max<qsizetype>(readyAt, 0));
    const bool refused = reply.contains("\nError:") || reply.contains("due to errors");
    m_output.clear();
    return answered && !refused;
}

QString LocateExifTool(const QString &searchPath, const QString &workFolder) {
    const QStringList folders = searchPath.split(QDir::listSeparator(), Qt::SkipEmptyParts);
    if (!folders.isEmpty()) {
        const QString found = QStandardPaths::findExecutable(QStringLiteral("exiftool"), folders);
        if (!found.isEmpty())
            return found;
    }
    const QFileInfo own(workFolder + QStringLiteral("/exiftool"));
    return own.isFile() && own.isExecutable() ? own.filePath() : QString();
}

QByteArray ExifToolArgumentLine(const QString &argument) {
    // Bytes as the file system names the file.
    const QByteArray bytes = QFile::encodeName(argument);
    if (!bytes.contains('\n') && !bytes.contains('\r'))
        return bytes + '\n';
    QByteArray escaped = "#[CSTR]";
    for (const char c : bytes) {
        switch (c) {
        case '\\':
            escaped += "\\\\";
            break;
        case '\n':
            escaped += "\\n";
            break;
        case '\r':
            escaped += "\\r";
            break;
        default:
            escaped += c;
        }
    }
    return escaped + '\n';
}

} // namespace kalmora
