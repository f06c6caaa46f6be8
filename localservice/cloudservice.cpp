#include "cloudservice.h"

#include <QCryptographicHash>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSslServer>
#include <QTimer>

namespace {

const QString translatePath = QStringLiteral("/translate");
const QString recognitionPath = QStringLiteral("/speech/recognition/conversation/cognitiveservices/v1");
const QString synthesisPath = QStringLiteral("/cognitiveservices/v1");

std::optional<Operation> operationFor(const QString &path)
{
    if (path == translatePath)
        return Operation::Translation;
    if (path == recognitionPath)
        return Operation::Recognition;
    if (path == synthesisPath)
        return Operation::Synthesis;
    return std::nullopt;
}

QByteArray methodName(QHttpServerRequest::Method method)
{
    switch (method) {
    case QHttpServerRequest::Method::Get:
        return "GET";
    case QHttpServerRequest::Method::Put:
        return "PUT";
    case QHttpServerRequest::Method::Delete:
        return "DELETE";
    case QHttpServerRequest::Method::Post:
        return "POST";
    case QHttpServerRequest::Method::Head:
        return "HEAD";
    case QHttpServerRequest::Method::Options:
        return "OPTIONS";
    case QHttpServerRequest::Method::Patch:
        return "PATCH";
    case QHttpServerRequest::Method::Connect:
        return "CONNECT";
    case QHttpServerRequest::Method::Trace:
        return "TRACE";
    default:
        return "UNKNOWN";
    }
}

QString protocolName(QSsl::SslProtocol protocol)
{
    switch (protocol) {
    case QSsl::TlsV1_3:
        return QStringLiteral("TLSv1.3");
    case QSsl::TlsV1_2:
        return QStringLiteral("TLSv1.2");
    default:
        return QStringLiteral("other");
    }
}

constexpr QByteArrayView jsonType = "application/json; charset=utf-8";

} // namespace

CloudService::CloudService(QObject *parent) : QAbstractHttpServer(parent)
{}

CloudService::~CloudService() = default;

bool CloudService::listen(const TlsIdentity &identity, quint16 port, const QHostAddress &address)
{
    auto server = std::make_unique<QSslServer>(this);
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificate(identity.certificate);
    tls.setPrivateKey(identity.key);
    tls.setProtocol(QSsl::TlsV1_2OrLater);
    tls.setPeerVerifyMode(QSslSocket::VerifyNone); // clients need no certificate
    tls.setAllowedNextProtocols(
        {QSslConfiguration::ALPNProtocolHTTP2, QSslConfiguration::NextProtocolHttp1_1});
    server->setSslConfiguration(tls);
    // Remembered so that a scripted reply can drop a client's connection.
    connect(server.get(), &QSslServer::startedEncryptionHandshake, this, [this](QSslSocket *socket) {
        m_sockets.removeIf([](const auto &it) { return it.value().isNull(); });
        m_sockets.insert(socket->peerPort(), socket);
        m_connectionPorts.append(socket->peerPort());
    });
    if (!server->listen(address, port) || !bind(server.get()))
        return false;
    m_server = server.release();
    return true;
}

quint16 CloudService::port() const
{
    return m_server ? m_server->serverPort() : 0;
}

QString CloudService::origin() const
{
    const QHostAddress address = m_server ? m_server->serverAddress() : QHostAddress(QHostAddress::LocalHost);
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
                             ? QStringLiteral("[%1]").arg(address.toString())
                             : address.toString();
    return QStringLiteral("https://%1:%2").arg(host).arg(port());
}

bool CloudService::handleRequest(const QHttpServerRequest &request, QHttpServerResponder &responder)
{
    LoggedRequest entry;
    entry.arrival = QDateTime::currentDateTimeUtc();
    entry.method = methodName(request.method());
    entry.path = request.url().path();
    entry.query = request.url().query(QUrl::FullyEncoded);
    entry.headers = request.headers();
    const QByteArray body = request.body();
    entry.bodyLength = body.size();
    entry.bodySha256 = QCryptographicHash::hash(body, QCryptographicHash::Sha256).toHex();
    entry.clientPort = request.remotePort();
    const QSslConfiguration session = request.sslConfiguration();
    entry.tlsProtocol = protocolName(session.sessionProtocol());
    entry.alpn = session.nextNegotiatedProtocol();
    entry.operation = operationFor(entry.path);

    Answer answer;
    if (!entry.operation)
        answer = {404, rejection(404, QStringLiteral("404"), QStringLiteral("Resource not found")).body,
                  jsonType.toByteArray()};
    else if (request.method() != QHttpServerRequest::Method::Post)
        answer = {405, rejection(405, QStringLiteral("405"), QStringLiteral("Only POST is supported")).body,
                  jsonType.toByteArray()};
    else
        answer = serve(*entry.operation, request, &entry.keyRole);

    // A scripted reply replaces the answer of a request that passed the checks.
    std::optional<ScriptedReply> scripted;
    if (entry.operation && answer.status < 400)
        scripted = m_script.take(*entry.operation);
    const ScriptedReply reply = scripted.value_or(ScriptedReply{});
    if (scripted) {
        answer.status = reply.status;
        if (reply.body) {
            answer.body = *reply.body;
            answer.contentType = reply.contentType;
        }
    }
    entry.status = reply.dropConnection ? 0 : answer.status;
    m_log.append(entry);
    if (reply.dropConnection)
        dropConnection(entry.clientPort, responder);
    else
        respond(responder, answer, reply);
    return true;
}

void CloudService::missingHandler(const QHttpServerRequest &, QHttpServerResponder &responder)
{
    responder.write(QHttpServerResponder::StatusCode::NotFound);
}

CloudService::Answer CloudService::serve(Operation operation, const QHttpServerRequest &request,
                                         QString *keyRole)
{
    const auto key =
        checkKey(request, operation == Operation::Translation ? m_keys.translator : m_keys.speech);
    if (const auto *rejected = std::get_if<Rejection>(&key))
        return {rejected->status, rejected->body, jsonType.toByteArray()};
    *keyRole = std::get<QString>(key);
    switch (operation) {
    case Operation::Translation:
        return translate(request);
    case Operation::Recognition:
        return recognize(request);
    case Operation::Synthesis:
        return synthesize(request);
    }
    return {};
}

CloudService::Answer CloudService::translate(const QHttpServerRequest &request)
{
    const auto parsed = parseTranslation(request);
    if (const auto *rejected = std::get_if<Rejection>(&parsed))
        return {rejected->status, rejected->body, jsonType.toByteArray()};
    const TranslationInput &input = std::get<TranslationInput>(parsed);
    const QString text = m_translation->translate(input.text, input.from, input.to);
    const QJsonObject translation{{QStringLiteral("text"), text}, {QStringLiteral("language"), input.to}};
    const QJsonArray reply{QJsonObject{{QStringLiteral("translations"), QJsonArray{translation}}}};
    return {200, QJsonDocument(reply).toJson(QJsonDocument::Compact), jsonType.toByteArray()};
}

CloudService::Answer CloudService::recognize(const QHttpServerRequest &request)
{
    const auto parsed = parseRecognition(request);
    if (const auto *rejected = std::get_if<Rejection>(&parsed))
        return {rejected->status, rejected->body, jsonType.toByteArray()};
    const RecognitionInput &input = std::get<RecognitionInput>(parsed);
    const std::optional<QString> text = m_recognition->recognize(input.audio, input.language);
    QJsonObject reply{
        {QStringLiteral("RecognitionStatus"), text ? QStringLiteral("Success") : QStringLiteral("NoMatch")},
        {QStringLiteral("Offset"), 0},
        {QStringLiteral("Duration"), 0}};
    if (text)
        reply.insert(QStringLiteral("DisplayText"), *text);
    return {200, QJsonDocument(reply).toJson(QJsonDocument::Compact), jsonType.toByteArray()};
}

CloudService::Answer CloudService::synthesize(const QHttpServerRequest &request)
{
    const auto parsed = parseSynthesis(request);
    if (const auto *rejected = std::get_if<Rejection>(&parsed))
        return {rejected->status, rejected->body, jsonType.toByteArray()};
    const SynthesisInput &input = std::get<SynthesisInput>(parsed);
    return {200, m_synthesis->synthesize(input.text, input.language, input.voice), "audio/ogg"};
}

void CloudService::respond(QHttpServerResponder &responder, const Answer &answer,
                           const ScriptedReply &scripted)
{
    const auto status = static_cast<QHttpServerResponder::StatusCode>(answer.status);
    if (scripted.held) {
        auto later = std::make_shared<QHttpServerResponder>(std::move(responder));
        m_held.append([later, answer, status] {
            if (!later->isResponseCanceled())
                later->write(answer.body, answer.contentType, status);
        });
        return;
    }
    if (scripted.delay.count() <= 0) {
        responder.write(answer.body, answer.contentType, status);
        return;
    }
    // Answer later; the client may have given up and gone by then.
    auto later = std::make_shared<QHttpServerResponder>(std::move(responder));
    QTimer::singleShot(scripted.delay, this, [later, answer, status] {
        if (!later->isResponseCanceled())
            later->write(answer.body, answer.contentType, status);
    });
}

void CloudService::releaseHeld()
{
    const QList<std::function<void()>> held = std::exchange(m_held, {});
    for (const auto &answer : held)
        answer();
}

void CloudService::dropConnection(quint16 clientPort, QHttpServerResponder &responder)
{
    auto unanswered = std::make_shared<QHttpServerResponder>(std::move(responder));
    const QPointer<QSslSocket> socket = m_sockets.value(clientPort);
    // Outside the request handler, so the protocol code is not re-entered.
    QTimer::singleShot(0, this, [socket, unanswered]() mutable {
        if (socket)
            socket->abort();
        QTimer::singleShot(0, [unanswered] {});
    });
}
