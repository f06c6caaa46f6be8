#include "streamedupload.h"

#include "cloudlogging.h"

#include <QSslConfiguration>

namespace {

constexpr qsizetype maxReplyHead = 64 * 1024;

struct StatusLine
{
    int status = 0;
    QHttpHeaders headers;
    qsizetype size = 0;
};

// A response head at the start of `bytes`: nothing while incomplete; status
// 0 when it is not one.
std::optional<StatusLine> parseStatusHead(const QByteArray &bytes)
{
    const qsizetype end = bytes.indexOf("\r\n\r\n");
    if (end < 0)
        return bytes.size() > maxReplyHead ? std::optional(StatusLine{}) : std::nullopt;
    StatusLine line;
    line.size = end + 4;
    const QList<QByteArray> lines = bytes.first(end).split('\n');
    const QList<QByteArray> first = lines.first().trimmed().split(' ');
    if (first.size() < 2 || !first[0].startsWith("HTTP/1."))
        return line;
    line.status = first[1].toInt();
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon > 0)
            line.headers.append(lines[i].first(colon).trimmed(), lines[i].sliced(colon + 1).trimmed());
    }
    return line;
}

} // namespace

StreamedUpload::StreamedUpload(const QNetworkRequest &request, qint64 maxReplyBytes, QObject *parent)
    : QObject(parent), m_request(request), m_socket(new QSslSocket(this)), m_maxReplyBytes(maxReplyBytes)
{
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setAllowedNextProtocols({QSslConfiguration::NextProtocolHttp1_1});
    m_socket->setSslConfiguration(tls);
    connect(m_socket, &QSslSocket::connected, this, &StreamedUpload::connected);
    connect(m_socket, &QSslSocket::encrypted, this, &StreamedUpload::sendHead);
    connect(m_socket, &QSslSocket::readyRead, this, &StreamedUpload::readReply);
    connect(m_socket, &QSslSocket::sslErrors, this, [this](const QList<QSslError> &errors) {
        fail(QNetworkReply::SslHandshakeFailedError, errors.value(0).errorString());
    });
    connect(m_socket, &QSslSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        readReply(); // a reply may have come with the close
        if (m_over)
            return;
        switch (error) {
        case QAbstractSocket::ConnectionRefusedError:
            fail(QNetworkReply::ConnectionRefusedError, m_socket->errorString());
            break;
        case QAbstractSocket::HostNotFoundError:
            fail(QNetworkReply::HostNotFoundError, m_socket->errorString());
            break;
        case QAbstractSocket::SslHandshakeFailedError:
            fail(QNetworkReply::SslHandshakeFailedError, m_socket->errorString());
            break;
        case QAbstractSocket::RemoteHostClosedError:
            fail(QNetworkReply::RemoteHostClosedError, m_socket->errorString());
            break;
        default:
            fail(QNetworkReply::UnknownNetworkError, m_socket->errorString());
        }
    });
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this,
            [this] { fail(QNetworkReply::TimeoutError, QStringLiteral("no answer in time")); });
    const int timeout = int(m_request.transferTimeoutAsDuration().count());
    if (timeout > 0)
        m_timer.start(timeout);
    const QUrl url = m_request.url();
    m_socket->connectToHostEncrypted(url.host(), quint16(url.port(443)));
}

StreamedUpload::~StreamedUpload() = default;

void StreamedUpload::connected()
{
    // Each chunk must leave at once: nothing else will follow it soon.
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
}

void StreamedUpload::sendHead()
{
    m_timer.stop(); // set up; the recording goes on for as long as it takes
    const QUrl url = m_request.url();
    QByteArray head = "POST " + url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority) + " HTTP/1.1\r\n";
    head += "Host: " + url.host().toUtf8();
    if (url.port() > 0)
        head += ':' + QByteArray::number(url.port());
    head += "\r\n";
    const QHttpHeaders headers = m_request.headers();
    for (qsizetype i = 0; i < headers.size(); ++i) {
        const QLatin1StringView field = headers.nameAt(i);
        const QByteArray name(field.data(), field.size());
        if (name.compare("content-length", Qt::CaseInsensitive) == 0)
            continue;
        head += name + ": " + headers.valueAt(i).toByteArray() + "\r\n";
    }
    head += "Transfer-Encoding: chunked\r\nExpect: 100-continue\r\n\r\n";
    m_socket->write(head);
    if (m_finished)
        m_timer.start(int(m_request.transferTimeoutAsDuration().count()));
}

void StreamedUpload::append(const QByteArray &bytes)
{
    if (m_over || m_finished || bytes.isEmpty())
        return;
    m_appended += bytes.size();
    m_waiting += chunkOf(bytes);
    flush();
}

void StreamedUpload::finish()
{
    if (m_over || m_finished)
        return;
    m_finished = true;
    m_waiting += chunkOf({});
    flush();
    qCDebug(lcCloud) << "streamed upload closed after" << m_appended << "bytes";
    const int timeout = int(m_request.transferTimeoutAsDuration().count());
    if (timeout > 0 && m_socket->isEncrypted())
        m_timer.start(timeout);
}

void StreamedUpload::flush()
{
    if (!m_continued || m_waiting.isEmpty() || !m_socket->isEncrypted())
        return;
    m_socket->write(std::exchange(m_waiting, {}));
}

void StreamedUpload::cancel()
{
    m_over = true;
    m_timer.stop();
    m_socket->abort();
}

void StreamedUpload::readReply()
{
    if (m_over)
        return;
    m_in += m_socket->readAll();
    for (;;) {
        if (!m_reply) {
            const std::optional<StatusLine> line = parseStatusHead(m_in);
            if (!line)
                return;
            if (line->status == 0) {
                fail(QNetworkReply::ProtocolFailure, QStringLiteral("not an HTTP/1.1 response"));
                return;
            }
            m_in.remove(0, line->size);
            if (line->status == 100) {
                m_continued = true;
                flush();
                continue;
            }
            if (line->status < 200)
                continue; // another interim answer
            Reply reply;
            reply.status = line->status;
            reply.headers = line->headers;
            reply.beforeEnd = !m_finished;
            m_reply = reply;
        }
        const QByteArray length =
            m_reply->headers.combinedValue(QHttpHeaders::WellKnownHeader::ContentLength);
        if (length.toLongLong() > m_maxReplyBytes || m_reply->body.size() + m_in.size() > m_maxReplyBytes) {
            Reply refused = *m_reply;
            refused.body.clear();
            refused.tooLarge = true;
            qCInfo(lcCloud) << "streamed upload's reply over" << m_maxReplyBytes << "bytes; given up";
            deliver(refused);
            return;
        }
        const bool chunked =
            m_reply->headers.combinedValue(QHttpHeaders::WellKnownHeader::TransferEncoding).toLower() ==
            "chunked";
        if (chunked) {
            m_reply->body += m_chunkedReply.take(std::exchange(m_in, {}));
            if (m_chunkedReply.failed()) {
                fail(QNetworkReply::ProtocolFailure, QStringLiteral("broken chunked reply"));
                return;
            }
            if (!m_chunkedReply.done())
                return;
        } else if (!length.isEmpty()) {
            const qsizetype want = length.toLongLong() - m_reply->body.size();
            m_reply->body += m_in.first(qMin(want, m_in.size()));
            m_in.remove(0, qMin(want, m_in.size()));
            if (m_reply->body.size() < length.toLongLong())
                return;
        } else {
            // Delimited by the close of the connection.
            m_reply->body += std::exchange(m_in, {});
            if (m_socket->state() == QAbstractSocket::ConnectedState)
                return;
        }
        deliver(*m_reply);
        return;
    }
}

void StreamedUpload::fail(QNetworkReply::NetworkError error, const QString &why)
{
    if (m_over)
        return;
    qCDebug(lcCloud) << "streamed upload to" << m_request.url().host() << "failed:" << error << why;
    Reply reply;
    reply.error = error;
    reply.errorString = why;
    reply.beforeEnd = !m_finished;
    deliver(reply);
}

void StreamedUpload::deliver(Reply reply)
{
    m_over = true;
    m_timer.stop();
    m_socket->disconnectFromHost();
    qCDebug(lcCloud) << "streamed upload answered" << reply.status;
    if (onReply)
        onReply(reply);
}
