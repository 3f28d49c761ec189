#pragma once

#include <QByteArray>
#include <QHash>
#include <QTcpServer>

namespace kalmora::test {

// A loopback HTTP/1.0 server for download tests, served from the test's own event loop.
class LoopbackHttpServer : public QObject {
    Q_OBJECT
public:
    enum class Behaviour {
        Serve,    // 200 with the body
        CutShort, // announces the whole length, sends half, closes
        Stall,    // sends the headers and half the body, then nothing
        NoLength, // 200 with the body and no length: the end of the connection ends it
        Trickle,  // announces the whole length, then one byte every 100 ms
    };
    struct Route {
        Behaviour behaviour = Behaviour::Serve;
        QByteArray body;
    };

    LoopbackHttpServer();
    QString url(const QString &path) const;
    void addRoute(const QString &path, const QByteArray &body, Behaviour b = Behaviour::Serve) {
        m_routes.insert(path, Route{b, body});
    }
    int requests() const { return m_requests; }
    // Bytes the system took from the server, headers included.
    qint64 sent() const { return m_sent; }

private:
    void onConnection();

    QTcpServer m_server;
    QHash<QString, Route> m_routes;
    int m_requests = 0;
    qint64 m_sent = 0;
};

} // namespace kalmora::test
