#pragma once

#include <QString>
#include <QStringList>

namespace kalmora {

struct ProcessResult {
    bool started = false;
    bool finished = false; // false: still running when the time limit passed (it is killed)
    int exitCode = -1;
    QByteArray output; // standard output and error, merged
};

class ProcessRunner {
public:
    virtual ~ProcessRunner() = default;
    // Runs the program with its arguments (no shell) and waits at most timeoutMs.
    virtual ProcessResult run(const QString &program, const QStringList &arguments,
                              int timeoutMs) = 0;
};

class QtProcessRunner final : public ProcessRunner {
public:
    ProcessResult run(const QString &program, const QStringList &arguments, int timeoutMs) override;
};

} // namespace kalmora
