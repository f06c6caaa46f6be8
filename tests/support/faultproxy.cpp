#include "faultproxy.h"

#include <QHash>
#include <QPointer>
#include <QSet>
#include <QSslSocket>
#include <QtEndian>
#include <QTimer>

#include <sys/socket.h>

using namespace std::chrono_literals;

namespace {

// HTTP/2 framing (RFC 9113, section 4.1): a 9-byte head, then the payload.
constexpr qsizetype frameHeadSize = 9;
constexpr quint8 dataFrame = 0x0;
constexpr quint8 headersFrame = 0x1;
constexpr quint8 rstStreamFrame = 0x3;
constexpr quint8 goAwayFrame = 0x7;
constexpr quint8 endStreamFlag = 0x1;
constexpr quint32 internalError = 0x2;
// Room for the close to carry what was written before a reset is sent.
constexpr auto flushPause = 30ms;

struct Frame
{
    quint8 type = 0;
    quint8 flags = 0;
    quint32 stream = 0;
    QByteArray payload;
    QByteArray raw; // the frame as it came
};

// The whole frame of bytes at `at`, stepping past it; nothing while
// incomplete. (Read in place: a reply of megabytes comes in many frames.)
std::optional<Frame> takeFrame(const QByteArray &bytes, qsizetype &at)
{
    if (bytes.size() - at < frameHeadSize)
        return std::nullopt;
    const auto *head = reinterpret_cast<const uchar *>(bytes.constData() + at);
    const qsizetype length = (qsizetype(head[0]) << 16) | (qsizetype(head[1]) << 8) | head[2];
    if (bytes.size() - at < frameHeadSize + length)
        return std::nullopt;
    Frame frame;
    frame.type = head[3];
    frame.flags = head[4];
    frame.stream = qFromBigEndian<quint32>(head + 5) & 0x7fffffffu;
    frame.raw = bytes.sliced(at, frameHeadSize + length);
    frame.payload = frame.raw.sliced(frameHeadSize);
    at += frameHeadSize + length;
    return frame;
}

QByteArray frameBytes(quint8 type, quint8 flags, quint32 stream, const QByteArray &payload)
{
    QByteArray out(frameHeadSize, Qt::Uninitialized);
    out[0] = char((payload.size() >> 16) & 0xff);
    out[1] = char((payload.size() >> 8) & 0xff);
    out[2] = char(payload.size() & 0xff);
    out[3] = char(type);
    out[4] = char(flags);
    qToBigEndian<quint32>(stream, out.data() + 5);
    return out + payload;
}

QByteArray word(quint32 value)
{
    QByteArray out(4, Qt::Uninitialized);
    qToBigEndian<quint32>(value, out.data());
    return out;
}

QByteArray halfOf(const QByteArray &bytes)
{
    return bytes.first(std::max<qsizetype>(1, bytes.size() / 2));
}

// Where a cut transfer ends: past the middle by an odd byte, so that it
// does not fall on a boundary of the body's own units (60-byte packets).
QByteArray cutOf(const QByteArray &bytes)
{
    return bytes.first(std::min(bytes.size(), bytes.size() / 2 + 1));
}

bool isHttp2Only(FaultProxy::Fault fault)
{
    return fault == FaultProxy::Fault::GoAway || fault == FaultProxy::Fault::StreamReset;
}

} // namespace

// One client connection and the proxy's own connection to the service.
class FaultProxy::Link final : public QObject
{
public:
    Link(FaultProxy *proxy, QSslSocket *client);

private:
    void upstreamReady();
    void fromClient();
    void fromUpstream();
    void http2Frame(const Frame &frame);
    void http1Bytes();
    void send(const QByteArray &bytes);
    void hold();
    void reset();
    void close();

    FaultProxy *m_proxy;
    QPointer<QSslSocket> m_client;
    QSslSocket *m_upstream;
    bool m_http2 = false;
    bool m_over = false;
    QByteArray m_toUpstream; // what the client sent before the service's side was up
    QByteArray m_in;         // the service's bytes not yet passed on
    bool m_holding = false;
    bool m_closeAfterHold = false;
    QByteArray m_held;
    // HTTP/2: the streams seen and those meeting a fault.
    QSet<quint32> m_seen;
    QHash<quint32, Fault> m_faulted;
    QSet<quint32> m_silenced; // whose further frames are dropped
    // HTTP/1.1: the fault of the response under way, once its head came.
    std::optional<Fault> m_http1Fault;
};

FaultProxy::Link::Link(FaultProxy *proxy, QSslSocket *client)
    : QObject(client), m_proxy(proxy), m_client(client), m_upstream(new QSslSocket(this))
{
    m_http2 = client->sslConfiguration().nextNegotiatedProtocol() == QSslConfiguration::ALPNProtocolHTTP2;
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setPeerVerifyMode(QSslSocket::VerifyNone);
    tls.setAllowedNextProtocols(
        {m_http2 ? QSslConfiguration::ALPNProtocolHTTP2 : QSslConfiguration::NextProtocolHttp1_1});
    m_upstream->setSslConfiguration(tls);
    // Without Nagle's algorithm on either side, as the service itself: each
    // hop would otherwise wait for the other's delayed acknowledgement.
    connect(m_upstream, &QSslSocket::connected, this,
            [this] { m_upstream->setSocketOption(QAbstractSocket::LowDelayOption, 1); });
    connect(m_upstream, &QSslSocket::encrypted, this, &Link::upstreamReady);
    connect(m_upstream, &QSslSocket::readyRead, this, &Link::fromUpstream);
    connect(m_upstream, &QSslSocket::disconnected, this, &Link::close);
    connect(m_upstream, &QSslSocket::errorOccurred, this, &Link::close);
    connect(client, &QSslSocket::readyRead, this, &Link::fromClient);
    connect(client, &QSslSocket::disconnected, this, &Link::close);
    m_upstream->connectToHostEncrypted(QStringLiteral("127.0.0.1"), proxy->m_upstreamPort);
    fromClient();
}

void FaultProxy::Link::upstreamReady()
{
    m_upstream->write(std::exchange(m_toUpstream, {}));
}

void FaultProxy::Link::fromClient()
{
    if (!m_client || m_over)
        return;
    const QByteArray bytes = m_client->readAll();
    if (m_upstream->isEncrypted())
        m_upstream->write(bytes);
    else
        m_toUpstream += bytes;
}

void FaultProxy::Link::fromUpstream()
{
    if (!m_upstream->isOpen())
        return;
    m_in += m_upstream->readAll();
    if (!m_http2) {
        http1Bytes();
        return;
    }
    qsizetype at = 0;
    while (!m_over) {
        const std::optional<Frame> frame = takeFrame(m_in, at);
        if (!frame)
            break;
        http2Frame(*frame);
    }
    m_in.remove(0, at);
}

void FaultProxy::Link::http2Frame(const Frame &frame)
{
    const quint32 stream = frame.stream;
    if (frame.type == headersFrame && (stream & 1u) && !m_seen.contains(stream)) {
        m_seen.insert(stream);
        const Fault fault = m_proxy->takeFault(true);
        if (fault != Fault::None)
            m_faulted.insert(stream, fault);
    }
    if (m_silenced.contains(stream))
        return;
    const bool head = frame.type == headersFrame;
    const bool data = frame.type == dataFrame;
    switch (m_faulted.value(stream, Fault::None)) {
    case Fault::None:
        send(frame.raw);
        return;
    case Fault::ResetBeforeHeaders:
        reset();
        return;
    case Fault::ResetDuringHeaders:
        send(frame.raw.first(frameHeadSize + frame.payload.size() / 2));
        reset();
        return;
    case Fault::ResetAfterHeaders:
        if (data)
            send(frameBytes(dataFrame, 0, stream, halfOf(frame.payload)));
        else
            send(frame.raw);
        if (data || (head && (frame.flags & endStreamFlag)))
            reset();
        return;
    case Fault::GoAway:
        // Nothing of the stream was processed, says the server: the last
        // stream it took is the one before.
        send(frameBytes(goAwayFrame, 0, 0, word(stream > 2 ? stream - 2 : 0) + word(0)));
        m_over = true;
        if (m_client)
            m_client->disconnectFromHost();
        return;
    case Fault::StreamReset:
        if (head) {
            send(frame.raw);
            return;
        }
        send(frameBytes(rstStreamFrame, 0, stream, word(internalError)));
        m_silenced.insert(stream);
        return;
    case Fault::SlowHeaders:
        hold();
        send(frame.raw);
        return;
    case Fault::SlowBody:
        if (data)
            hold();
        send(frame.raw);
        return;
    case Fault::TruncatedBody:
        if (!data) {
            send(frame.raw);
            return;
        }
        send(frameBytes(dataFrame, endStreamFlag, stream, cutOf(frame.payload)));
        m_silenced.insert(stream);
        return;
    }
}

void FaultProxy::Link::http1Bytes()
{
    while (!m_over && !m_in.isEmpty()) {
        if (!m_http1Fault) {
            const qsizetype end = m_in.indexOf("\r\n\r\n");
            if (end < 0)
                return;
            const QByteArray head = m_in.first(end + 4);
            m_in.remove(0, head.size());
            // "HTTP/1.1 100 Continue": interim answers pass.
            if (head.size() > 9 && head.at(9) == '1') {
                send(head);
                continue;
            }
            const Fault fault = m_proxy->takeFault(false);
            m_http1Fault = fault;
            switch (fault) {
            case Fault::ResetBeforeHeaders:
                reset();
                return;
            case Fault::ResetDuringHeaders:
                send(halfOf(head));
                reset();
                return;
            case Fault::SlowHeaders:
                hold();
                break;
            default:
                break;
            }
            send(head);
            continue;
        }
        const QByteArray body = std::exchange(m_in, {});
        switch (*m_http1Fault) {
        case Fault::ResetAfterHeaders:
            send(halfOf(body));
            reset();
            return;
        case Fault::TruncatedBody:
            // Ended early, as a server that closes when it has sent "all".
            send(cutOf(body));
            m_over = true;
            if (m_client)
                m_client->disconnectFromHost();
            return;
        case Fault::SlowBody:
            hold();
            break;
        default:
            break;
        }
        send(body);
    }
}

void FaultProxy::Link::send(const QByteArray &bytes)
{
    if (m_holding)
        m_held += bytes;
    else if (m_client)
        m_client->write(bytes);
}

void FaultProxy::Link::hold()
{
    if (m_holding)
        return;
    m_holding = true;
    QTimer::singleShot(m_proxy->m_stall, this, [this] {
        m_holding = false;
        if (m_client && !m_held.isEmpty())
            m_client->write(std::exchange(m_held, {}));
        if (m_closeAfterHold)
            close();
    });
}

void FaultProxy::Link::reset()
{
    m_over = true;
    if (m_client)
        m_client->flush();
    QTimer::singleShot(flushPause, this, [this] {
        if (m_client) {
            // A reset, not an orderly close: no lingering on what is unsent.
            const linger abortive{1, 0};
            ::setsockopt(int(m_client->socketDescriptor()), SOL_SOCKET, SO_LINGER, &abortive,
                         sizeof abortive);
            m_client->abort();
        }
        m_upstream->abort();
    });
}

void FaultProxy::Link::close()
{
    // A slow server closes after what it was slow to send, not before.
    if (m_holding && m_client && m_client->state() == QAbstractSocket::ConnectedState) {
        m_closeAfterHold = true;
        return;
    }
    if (m_client)
        m_client->disconnectFromHost();
    m_upstream->disconnectFromHost();
}

FaultProxy::FaultProxy(const QSslConfiguration &service, quint16 upstreamPort, QObject *parent)
    : QTcpServer(parent), m_service(service), m_upstreamPort(upstreamPort)
{
    m_service.setAllowedNextProtocols(
        {QSslConfiguration::ALPNProtocolHTTP2, QSslConfiguration::NextProtocolHttp1_1});
}

bool FaultProxy::start()
{
    if (!listen(QHostAddress::LocalHost, m_port))
        return false;
    m_port = serverPort();
    return true;
}

QString FaultProxy::origin() const
{
    return QStringLiteral("https://127.0.0.1:%1").arg(m_port);
}

void FaultProxy::breakNextResponse(Fault fault)
{
    m_fault = fault;
}

bool FaultProxy::refuse(bool refusing)
{
    if (refusing) {
        close();
        return true;
    }
    return isListening() || start();
}

void FaultProxy::dropConnections()
{
    for (QSslSocket *socket : findChildren<QSslSocket *>(Qt::FindDirectChildrenOnly))
        socket->abort();
}

FaultProxy::Fault FaultProxy::takeFault(bool http2)
{
    if (m_fault == Fault::None || (!http2 && isHttp2Only(m_fault)))
        return Fault::None;
    ++m_struck;
    return std::exchange(m_fault, Fault::None);
}

void FaultProxy::incomingConnection(qintptr descriptor)
{
    auto *socket = new QSslSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    if (m_nextTls)
        ++m_struck;
    QSslConfiguration tls = m_nextTls ? *std::exchange(m_nextTls, std::nullopt) : m_service;
    tls.setAllowedNextProtocols(m_service.allowedNextProtocols());
    socket->setSslConfiguration(tls);
    connect(socket, &QSslSocket::encrypted, this, [this, socket] { new Link(this, socket); });
    connect(socket, &QSslSocket::disconnected, socket, &QObject::deleteLater);
    // A handshake that fails closes the connection; so does any other error.
    connect(socket, &QSslSocket::errorOccurred, socket, [socket] {
        if (socket->state() == QAbstractSocket::UnconnectedState)
            socket->deleteLater();
    });
    socket->startServerEncryption();
}
