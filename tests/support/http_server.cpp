#include "tests/support/http_server.h"

#include <QTcpSocket>
#include <QTimer>

namespace kalmora::test {

LoopbackHttpServer::LoopbackHttpServer() {
    m_server.listen(QHostAddress::LocalHost);
    connect(&m_server, &QTcpServer::newConnection, this, &LoopbackHttpServer::onConnection);
}

QString LoopbackHttpServer::url(const QString &path) const {
    return QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path);
}

void LoopbackHttpServer::onConnection() {
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::bytesWritten, this, [this](qint64 n) { m_sent += n; });
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
            if (socket->property("answered").toBool())
                return;
            const QByteArray request = socket->peek(socket->bytesAvailable());
            if (!request.contains("\r\n\r\n"))
                return;
            socket->setProperty("answered", true);
            ++m_requests;
            const QList<QByteArray> words = request.left(request.indexOf("\r\n")).split(' ');
            const QString path = words.size() > 1 ? QString::fromLatin1(words[1]) : QString();
            if (!m_routes.contains(path)) {
                socket->write("HTTP/1.0 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found");
                socket->disconnectFromHost();
                return;
            }
            const Route route = m_routes.value(path);
            if (route.behaviour == Behaviour::NoLength) {
                socket->write("HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\n\r\n" +
                              route.body);
                socket->disconnectFromHost();
                return;
            }
            socket->write("HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\n"
                          "Content-Length: " +
                          QByteArray::number(route.body.size()) + "\r\n\r\n");
            switch (route.behaviour) {
            case Behaviour::Serve:
                socket->write(route.body);
                socket->disconnectFromHost();
                break;
            case Behaviour::CutShort:
                socket->write(route.body.left(route.body.size() / 2));
                socket->disconnectFromHost();
                break;
            case Behaviour::Stall:
                socket->write(route.body.left(route.body.size() / 2));
                socket->flush();
                break;
            case Behaviour::Trickle: {
                auto *timer = new QTimer(socket);
                connect(timer, &QTimer::timeout, socket, [socket, timer, body = route.body] {
                    const qsizetype at = socket->property("at").toLongLong();
                    if (at >= body.size()) {
                        timer->stop();
                        socket->disconnectFromHost();
                        return;
                    }
                    socket->write(body.mid(at, 1));
                    socket->setProperty("at", at + 1);
                });
                timer->start(100);
                break;
            }
            case Behaviour::NoLength:
                break;
            }
        });
    }
}

} // namespace kalmora::test
