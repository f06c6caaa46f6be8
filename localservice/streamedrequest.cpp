#include "streamedrequest.h"

#include "servicelogging.h"

StreamedRequest::StreamedRequest(QSslSocket *socket, Http1Head head, QObject *parent)
    : QObject(parent), m_socket(socket), m_head(std::move(head)), m_clientPort(socket->peerPort())
{
    socket->setParent(this);
    // The head was only peeked at; the body follows it.
    socket->skip(m_head.size);
    connect(socket, &QSslSocket::disconnected, this, &StreamedRequest::lose);
    connect(socket, &QSslSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (error != QAbstractSocket::RemoteHostClosedError)
            qCDebug(lcLocalService) << "streamed request: connection error" << error;
        lose();
    });
}

StreamedRequest::~StreamedRequest() = default;

QSslConfiguration StreamedRequest::sslConfiguration() const
{
    return m_socket ? m_socket->sslConfiguration() : QSslConfiguration();
}

void StreamedRequest::proceed()
{
    if (m_proceeding || !m_socket)
        return;
    m_proceeding = true;
    if (m_head.expectsContinue())
        m_socket->write("HTTP/1.1 100 Continue\r\n\r\n");
    connect(m_socket, &QSslSocket::readyRead, this, &StreamedRequest::readBody);
    readBody();
}

void StreamedRequest::readBody()
{
    if (!m_socket || m_ended)
        return;
    const QByteArray piece = m_reader.take(m_socket->readAll());
    if (m_reader.failed()) {
        qCWarning(lcLocalService) << "streamed request: broken chunked framing";
        answer(400, R"({"error":{"code":"400","message":"Malformed chunked body."}})",
               "application/json; charset=utf-8");
        return;
    }
    if (!piece.isEmpty()) {
        m_whole.append(piece);
        if (onPiece)
            onPiece(piece);
    }
    if (m_reader.done()) {
        m_ended = true;
        if (onEnd)
            onEnd(m_whole);
    }
}

void StreamedRequest::answer(int status, const QByteArray &body, const QByteArray &contentType,
                             const QHttpHeaders &extra)
{
    if (m_answered || !m_socket)
        return;
    m_answered = true;
    QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + " \r\n";
    QHttpHeaders headers = extra;
    headers.replaceOrAppend(QHttpHeaders::WellKnownHeader::ContentType, contentType);
    headers.replaceOrAppend(QHttpHeaders::WellKnownHeader::ContentLength, QByteArray::number(body.size()));
    headers.replaceOrAppend(QHttpHeaders::WellKnownHeader::Connection, "close");
    for (qsizetype i = 0; i < headers.size(); ++i) {
        const QLatin1StringView name = headers.nameAt(i);
        head += QByteArray(name.data(), name.size()) + ": " + headers.valueAt(i).toByteArray() + "\r\n";
    }
    m_socket->write(head + "\r\n" + body);
    m_socket->disconnectFromHost();
}

void StreamedRequest::drop()
{
    m_answered = true;
    if (m_socket)
        m_socket->abort();
}

void StreamedRequest::lose()
{
    if (!m_answered && onLost) {
        m_answered = true;
        onLost();
    }
    deleteLater();
}
