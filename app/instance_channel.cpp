#include "app/instance_channel.h"

#include <QDataStream>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include <algorithm>

namespace kalmora {

namespace {

constexpr char Answer = '1';
// A folder path, as text; anything longer is no request of ours.
constexpr qint64 RequestLimit = 64 * 1024;

} // namespace

QString InstanceSocketPath(const QString &lockPath) {
    if (lockPath.isEmpty())
        return {};
    return QFileInfo(lockPath).path() + QStringLiteral("/kalmora.socket");
}

bool SendToRunningInstance(const QString &socketPath, const QString &folder, int timeoutMs) {
    if (socketPath.isEmpty())
        return false;
    // One time limit for the whole exchange.
    const QDeadlineTimer deadline(timeoutMs);
    const auto left = [&] { return int(std::max<qint64>(0, deadline.remainingTime())); };
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(left()))
        return false;
    QByteArray request;
    QDataStream out(&request, QIODevice::WriteOnly);
    out << folder;
    socket.write(request);
    if (!socket.waitForBytesWritten(left()))
        return false;
    while (socket.bytesAvailable() < 1) {
        if (deadline.hasExpired() || !socket.waitForReadyRead(left()))
            return false;
    }
    char answer = 0;
    return socket.getChar(&answer) && answer == Answer;
}

InstanceServer::InstanceServer(QObject *parent) : QObject(parent) {}

InstanceServer::~InstanceServer() = default;

bool InstanceServer::listen(const QString &socketPath) {
    if (socketPath.isEmpty())
        return false;
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    QLocalServer::removeServer(socketPath);
    connect(m_server.get(), &QLocalServer::newConnection, this, &InstanceServer::accept);
    return m_server->listen(socketPath);
}

void InstanceServer::accept() {
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (socket->bytesAvailable() > RequestLimit) {
                socket->abort();
                return;
            }
            QDataStream in(socket);
            in.startTransaction();
            QString folder;
            in >> folder;
            if (!in.commitTransaction())
                return; // the rest is still on its way
            socket->putChar(Answer);
            socket->flush();
            socket->disconnectFromServer();
            QTimer::singleShot(0, this, [this, folder] { emit requested(folder); });
        });
    }
}

} // namespace kalmora

// Its own meta-object code, so that a program using another class of the core does not load
// the network library.
#include "moc_instance_channel.cpp"
