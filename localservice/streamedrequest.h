#pragma once

#include "http1head.h"

#include <QByteArray>
#include <QHttpHeaders>
#include <QObject>
#include <QPointer>
#include <QSslConfiguration>
#include <QSslSocket>

#include <functional>

// One HTTP/1.1 request whose chunked body is taken as it arrives, on a
// connection of its own: the service reads the head, says whether to go on
// (100 Continue) or answers at once, gets each piece of the body, then the
// whole body, and answers once. The connection closes after the answer.
class StreamedRequest final : public QObject
{
public:
    StreamedRequest(QSslSocket *socket, Http1Head head, QObject *parent = nullptr);
    ~StreamedRequest() override;

    [[nodiscard]] const Http1Head &head() const { return m_head; }
    [[nodiscard]] quint16 clientPort() const { return m_clientPort; }
    [[nodiscard]] QSslConfiguration sslConfiguration() const;

    std::function<void(const QByteArray &piece)> onPiece;
    std::function<void(const QByteArray &whole)> onEnd;
    // The connection went before the body ended or the answer was given.
    std::function<void()> onLost;

    // Asks for the body; what already arrived is handed on at once.
    void proceed();
    void answer(int status, const QByteArray &body, const QByteArray &contentType,
                const QHttpHeaders &extra = {});
    void drop();

private:
    void readBody();
    void lose();

    QPointer<QSslSocket> m_socket;
    Http1Head m_head;
    ChunkedBodyReader m_reader;
    QByteArray m_whole;
    quint16 m_clientPort = 0;
    bool m_proceeding = false;
    bool m_ended = false;
    bool m_answered = false;
};
