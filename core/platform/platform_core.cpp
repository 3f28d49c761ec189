// The real implementations of the services that need no widget.
#include "core/platform/clock.h"
#include "core/platform/environment.h"
#include "core/platform/process_runner.h"
#include "core/platform/random.h"
#include "core/platform/settings.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>

#include <pwd.h>
#include <unistd.h>

namespace kalmora {

DateTime SystemClock::now() const {
    const QDateTime now = QDateTime::currentDateTime();
    return DateTime(now.date(), now.time());
}

MtRandom::MtRandom() : m_engine(std::random_device{}()) {}

double MtRandom::next() {
    return m_dist(m_engine);
}

QString ProcessEnvironment::variable(const QString &name) const {
    return qEnvironmentVariable(name.toLocal8Bit().constData());
}

QString ProcessEnvironment::programFolder() const {
    return QCoreApplication::applicationDirPath();
}

QString ProcessEnvironment::userName() const {
    QString name = qEnvironmentVariable("USER");
    if (name.isEmpty())
        name = qEnvironmentVariable("LOGNAME");
    if (name.isEmpty()) {
        if (const passwd *pw = getpwuid(getuid()))
            name = QString::fromLocal8Bit(pw->pw_name);
    }
    return name;
}

OsVersionInfo ProcessEnvironment::osVersion() const {
    // Not a Windows host: report an NT-family system of major version 10.
    return OsVersionInfo{2, 10, 0};
}

QString ProcessEnvironment::userDataFolder() const {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
}

QString ProcessEnvironment::documentsFolder() const {
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

QtSettings::QtSettings(const QString &file) : m_file(file) {}

static QSettings *openSettings(const QString &file) {
    if (file.isEmpty())
        return new QSettings(QSettings::NativeFormat, QSettings::UserScope,
                             QStringLiteral("Kalmora"), QStringLiteral("Kalmora"));
    return new QSettings(file, QSettings::IniFormat);
}

QString QtSettings::value(const QString &group, const QString &key) const {
    std::unique_ptr<QSettings> s(openSettings(m_file));
    return s->value(group + QLatin1Char('/') + key).toString();
}

bool QtSettings::setValue(const QString &group, const QString &key, const QString &value) {
    std::unique_ptr<QSettings> s(openSettings(m_file));
    s->setValue(group + QLatin1Char('/') + key, value);
    s->sync();
    return s->status() == QSettings::NoError;
}

ProcessResult QtProcessRunner::run(const QString &program, const QStringList &arguments,
                                   int timeoutMs) {
    ProcessResult result;
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForStarted(timeoutMs))
        return result;
    result.started = true;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(1000);
        result.output = process.readAll();
        return result;
    }
    result.finished = process.exitStatus() == QProcess::NormalExit;
    result.exitCode = process.exitCode();
    result.output = process.readAll();
    return result;
}

} // namespace kalmora
