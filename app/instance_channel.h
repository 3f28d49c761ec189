#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;

namespace kalmora {

// How a second start reaches the running program: a local socket beside the single-instance
// lock, in the user's own private folder. The second start hands over the folder it was given
// (empty for none) and ends; the running program comes to the front.
QString InstanceSocketPath(const QString &lockPath);

// Delivers the folder to the running program; false when no program answered within
// `timeoutMs` in all.
bool SendToRunningInstance(const QString &socketPath, const QString &folder, int timeoutMs = 2000);

class InstanceServer : public QObject {
    Q_OBJECT
public:
    explicit InstanceServer(QObject *parent = nullptr);
    ~InstanceServer() override;
    // Any socket left at the path is stale: the caller holds the lock.
    bool listen(const QString &socketPath);

signals:
    // Emitted after the sender has had its answer, so a message box shown meanwhile never
    // keeps the second start waiting.
    void requested(const QString &folder);

private:
    void accept();
    std::unique_ptr<QLocalServer> m_server;
};

} // namespace kalmora
