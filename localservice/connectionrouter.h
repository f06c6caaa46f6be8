#pragma once

#include "http1head.h"

#include <QObject>
#include <QSslServer>

#include <functional>

// Sits between the listening TLS server and the HTTP server. Every
// connection gets TCP_NODELAY (the real services answer at once, and so
// must this). HTTP/2 connections go straight on to the HTTP server; on an
// HTTP/1.1 connection the first request head is read first, and a request
// the service wants to take as it streams in (see StreamedRequest) is
// offered to `takeStreamed` instead. The HTTP server is bound to
// handover(), which never listens for clients of its own.
class ConnectionRouter final : public QObject
{
public:
    ConnectionRouter(QSslServer *front, const QSslConfiguration &tls, QObject *parent = nullptr);

    // False when it cannot set up its hand-over side.
    [[nodiscard]] bool start();
    [[nodiscard]] QTcpServer *handover() const;

    // Whether the service takes this request (and the socket) as it streams.
    std::function<bool(QSslSocket *socket, const Http1Head &head)> takeStreamed;

private:
    class Handover;
    void route(QSslSocket *socket);
    void readHead(QSslSocket *socket);
    void handOn(QSslSocket *socket);

    QSslServer *m_front;
    Handover *m_handover;
};
