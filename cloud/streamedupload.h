#pragma once

#include "chunkedbody.h"

#include <QByteArray>
#include <QHttpHeaders>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QObject>
#include <QPointer>
#include <QSslSocket>
#include <QTimer>

#include <functional>

// A POST whose body is sent while it is still being made: HTTP/1.1 with a
// chunked body (Qt's network manager sends only bodies of known length as
// they come, and buffers any other whole first), on a connection of its own
// with TCP_NODELAY. It asks "Expect: 100-continue", so that a service that
// refuses the request says so before the body goes, and holds the body back
// until the service has said go on.
class StreamedUpload final : public QObject
{
public:
    struct Reply
    {
        QNetworkReply::NetworkError error = QNetworkReply::NoError;
        int status = 0;
        QHttpHeaders headers;
        QByteArray body;
        QString errorString;
        bool beforeEnd = false; // the service answered before the body ended
        bool tooLarge = false;  // the reply passed the bound and was not read on
    };

    // The request's URL and headers; its transfer timeout bounds the set-up
    // and the wait for the reply after finish().
    // A reply longer than maxReplyBytes is given up.
    explicit StreamedUpload(const QNetworkRequest &request, qint64 maxReplyBytes, QObject *parent = nullptr);
    ~StreamedUpload() override;

    void append(const QByteArray &bytes);
    // The body is complete: the last chunk goes and the reply is awaited.
    void finish();
    // Gives up: the connection closes, no reply is reported.
    void cancel();

    [[nodiscard]] qint64 appended() const { return m_appended; }
    [[nodiscard]] bool isOver() const { return m_over; }

    // Called once, with the reply or the failure.
    std::function<void(const Reply &)> onReply;

private:
    void connected();
    void sendHead();
    void readReply();
    void flush();
    void fail(QNetworkReply::NetworkError error, const QString &why);
    void deliver(Reply reply);

    QNetworkRequest m_request;
    QSslSocket *m_socket = nullptr;
    QTimer m_timer;
    QByteArray m_waiting; // framed chunks the service has not asked for yet
    QByteArray m_in;
    std::optional<Reply> m_reply; // a final head read, its body coming
    ChunkedBodyReader m_chunkedReply;
    qint64 m_maxReplyBytes;
    qint64 m_appended = 0;
    bool m_continued = false;
    bool m_finished = false;
    bool m_over = false;
};
