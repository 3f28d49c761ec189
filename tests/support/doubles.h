#pragma once

#include "core/filetime/file_time_store.h"
#include "core/platform/services.h"

#include <QHash>
#include <QList>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>

namespace kalmora::test {

// Answers message boxes from a queue (the default button when the queue is empty) and records
// every box and beep.
class ScriptedPrompter final : public Prompter {
public:
    using Prompter::show;
    MsgAnswer show(const Message &message) override;
    void beep() override { ++beeps; }

    void answer(MsgAnswer a) { answers.append(a); }
    QStringList texts() const;
    const Message &last() const { return shown.last(); }

    QList<MsgAnswer> answers;
    QList<Message> shown;
    int beeps = 0;
    // Runs inside each box, as a user would act while it is open.
    std::function<void(const Message &)> onShow;
};

class FakeClock final : public Clock {
public:
    DateTime now() const override { return time; }
    DateTime time{2026, 12, 7, 9, 30, 15};
};

// Gives the queued values in turn, then repeats the last one (0 when none is queued).
class ScriptedRandom final : public Random {
public:
    double next() override;
    QList<double> values;
    int drawn = 0;
};

class FakeEnvironment final : public Environment {
public:
    QString variable(const QString &name) const override { return variables.value(name); }
    QString programFolder() const override { return program; }
    QString userName() const override { return user; }
    OsVersionInfo osVersion() const override { return version; }
    QString userDataFolder() const override { return dataFolder; }
    QString documentsFolder() const override { return documents; }

    QHash<QString, QString> variables;
    QString program = QStringLiteral("/home/user/Kalmora");
    QString user = QStringLiteral("tester");
    OsVersionInfo version{2, 10, 0};
    QString dataFolder = QStringLiteral("/home/user/.local/share");
    QString documents; // none: exports stay in the work folder
};

class MemorySettings final : public Settings {
public:
    QString value(const QString &group, const QString &key) const override {
        return values.value(group + QLatin1Char('/') + key);
    }
    bool setValue(const QString &group, const QString &key, const QString &value) override {
        if (failWrites)
            return false;
        values.insert(group + QLatin1Char('/') + key, value);
        return true;
    }
    QHash<QString, QString> values;
    bool failWrites = false;
};

class RecordingDesktop final : public Desktop {
public:
    bool openFolder(const QString &path) override {
        return record(QStringLiteral("folder:") + path);
    }
    bool openFile(const QString &path) override { return record(QStringLiteral("file:") + path); }
    bool openUrl(const QString &url) override { return record(QStringLiteral("url:") + url); }
    QStringList opened;

private:
    bool record(const QString &what) {
        opened.append(what);
        return true;
    }
};

// Hands out queued answers (empty text = cancelled) and records the requests.
class ScriptedFileDialogs final : public FileDialogs {
public:
    QString chooseFolder(const QString &title, const QString &startFolder) override;
    QString chooseOpenFile(const QString &title, const QString &startFolder,
                           const QString &filter) override;
    QStringList folders;
    QStringList files;
    QStringList requests;
};

// Records the commands; the test decides the result.
class FakeProcessRunner final : public ProcessRunner {
public:
    ProcessResult run(const QString &program, const QStringList &arguments, int timeoutMs) override;
    QList<QStringList> commands;
    std::function<ProcessResult(const QString &, const QStringList &)> handler;
};

class FakeDownloader final : public Downloader {
public:
    bool download(const QString &url, const QString &targetPath) override;
    QStringList urls;
    std::function<bool(const QString &, const QString &)> handler;
};

// One of each double, bundled as the windows take them.
struct TestServices {
    // The batch journal goes to a folder of this test's own, never the user's.
    TestServices() {
        environment.variables.insert(QStringLiteral("XDG_STATE_HOME"), stateHome.path());
    }
    QTemporaryDir stateHome;
    ScriptedPrompter prompter;
    FakeClock clock;
    ScriptedRandom random;
    FakeEnvironment environment;
    MemorySettings settings;
    RecordingDesktop desktop;
    ScriptedFileDialogs fileDialogs;
    FakeProcessRunner processes;
    FakeDownloader downloader;
    // File times are the real thing: tests use real files in temporary folders.
    SystemFileTimeStore fileTimes;

    Services services() {
        return Services{prompter, clock,       random,    environment, settings,
                        desktop,  fileDialogs, processes, downloader,  fileTimes};
    }
};

} // namespace kalmora::test
