#include "connectionrouter.h"

#include "servicelogging.h"

#include <QHostAddress>
#include <QTimer>

namespace {
// A client that sends no complete head in this time is dropped.
constexpr int headTimeoutMs = 10000;
} // namespace

class ConnectionRouter::Handover final : public QSslServer
{
public:
    using QSslServer::QSslServer;
    void hand(QTcpSocket *socket) { addPendingConnection(socket); }
};

ConnectionRouter::ConnectionRouter(QSslServer *front, const QSslConfiguration &tls, QObject *parent)
    : QObject(parent), m_front(front), m_handover(new Handover(this))
{
    m_handover->setSslConfiguration(tls);
    connect(front, &QSslServer::startedEncryptionHandshake, this,
            [](QSslSocket *socket) { socket->setSocketOption(QAbstractSocket::LowDelayOption, 1); });
    connect(front, &QTcpServer::pendingConnectionAvailable, this, [this] {
        while (QTcpSocket *socket = m_front->nextPendingConnection())
            route(qobject_cast<QSslSocket *>(socket));
    });
}

bool ConnectionRouter::start()
{
    // The HTTP server only takes connections from a listening server.
    return m_handover->listen(QHostAddress::LocalHost, 0);
}

QTcpServer *ConnectionRouter::handover() const
{
    return m_handover;
}

void ConnectionRouter::route(QSslSocket *socket)
{
    if (!socket)
        return;
    if (socket->sslConfiguration().nextNegotiatedProtocol() == QSslConfiguration::ALPNProtocolHTTP2 ||
        !takeStreamed) {
        handOn(socket);
        return;
    }
    connect(socket, &QSslSocket::readyRead, this, [this, socket] { readHead(socket); });
    QTimer::singleShot(headTimeoutMs, socket, [socket] {
        if (socket->property("tolkaRouted").toBool())
            return;
        qCDebug(lcLocalService) << "no request head in time; connection dropped";
        socket->abort();
        socket->deleteLater();
    });
    readHead(socket);
}

void ConnectionRouter::readHead(QSslSocket *socket)
{
    if (socket->property("tolkaRouted").toBool())
        return;
    bool malformed = false;
    const std::optional<Http1Head> head = parseHttp1Head(socket->peek(socket->bytesAvailable()), &malformed);
    if (!head && !malformed)
        return; // more to come
    socket->setProperty("tolkaRouted", true);
    disconnect(socket, &QSslSocket::readyRead, this, nullptr);
    if (head && takeStreamed(socket, *head))
        return;
    handOn(socket);
    // The bytes read so far are still in the socket; the HTTP server would
    // otherwise wait for more before it looks.
    QMetaObject::invokeMethod(
        socket,
        [socket] {
            if (socket->bytesAvailable() > 0)
                emit socket->readyRead();
        },
        Qt::QueuedConnection);
}

void ConnectionRouter::handOn(QSslSocket *socket)
{
    socket->setProperty("tolkaRouted", true);
    m_handover->hand(socket);
}
