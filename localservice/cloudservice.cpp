#include "cloudservice.h"

#include "connectionrouter.h"
#include "serialwork.h"
#include "servicelogging.h"
#include "streamedrequest.h"
#include "voicelist.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSslServer>
#include <QTimer>
#include <QUrlQuery>

#include <algorithm>
#include <atomic>

namespace {

const QString translatePath = QStringLiteral("/translate");
const QString recognitionPath = QStringLiteral("/speech/recognition/conversation/cognitiveservices/v1");
const QString synthesisPath = QStringLiteral("/cognitiveservices/v1");
const QString voiceListPath = QStringLiteral("/cognitiveservices/voices/list");
// Not a cloud path: what the offline engines can do, for the application.
const QString capabilitiesPath = QStringLiteral("/tolka/offline");

std::optional<Operation> operationFor(const QString &path)
{
    if (path == translatePath)
        return Operation::Translation;
    if (path == recognitionPath)
        return Operation::Recognition;
    if (path == synthesisPath)
        return Operation::Synthesis;
    if (path == voiceListPath)
        return Operation::VoiceList;
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

CloudService::Answer refused(const Rejection &rejected)
{
    return CloudService::Answer{rejected.status, rejected.body, jsonType.toByteArray()};
}

CloudService::Answer failed(const EngineFailure &failure)
{
    return {failure.status, rejection(failure.status, failure.code, failure.message).body,
            jsonType.toByteArray()};
}

// The translator's codes are six digits: the status and three more.
CloudService::Answer translatorFailed(const EngineFailure &failure)
{
    bool numeric = false;
    int code = failure.code.toInt(&numeric);
    if (!numeric || failure.code.size() != 6)
        code = failure.status * 1000;
    return {failure.status, translatorRejection(failure.status, code, failure.message).body,
            jsonType.toByteArray()};
}

// The short-audio reply: the words, where they were heard, or why not.
CloudService::Answer recognitionAnswer(const EngineResult<Recognised> &result)
{
    if (!result)
        return failed(result.error());
    const bool matched = !result->text.isEmpty();
    qCDebug(lcLocalService) << "recognised" << result->text;
    QJsonObject reply{{QStringLiteral("RecognitionStatus"),
                       matched ? QStringLiteral("Success") : QStringLiteral("NoMatch")},
                      {QStringLiteral("Offset"), result->offset},
                      {QStringLiteral("Duration"), result->duration}};
    if (matched)
        reply.insert(QStringLiteral("DisplayText"), result->text);
    return {200, QJsonDocument(reply).toJson(QJsonDocument::Compact), jsonType.toByteArray()};
}

} // namespace

struct CloudService::Pending
{
    LoggedRequest entry;
    QHttpServerResponder responder;
};

CloudService::CloudService(QObject *parent) : QAbstractHttpServer(parent)
{
    // Engines mostly wait on processes or compute alone: a few more threads
    // than cores keep the cores busy.
    m_pool.setMaxThreadCount(std::max(4, QThread::idealThreadCount()));
}

CloudService::~CloudService()
{
    // Engines stop at their deadlines; nothing may post to a dead service.
    m_pool.waitForDone();
}

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
    auto router = std::make_unique<ConnectionRouter>(server.get(), tls, this);
    router->takeStreamed = [this](QSslSocket *socket, const Http1Head &head) {
        return takeStreamed(socket, head);
    };
    if (!server->listen(address, port) || !router->start() || !bind(router->handover()))
        return false;
    m_server = server.release();
    m_router = router.release();
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
    entry.received = std::chrono::steady_clock::now();
    entry.method = methodName(request.method());
    entry.path = request.url().path();
    entry.query = request.url().query(QUrl::FullyEncoded);
    entry.headers = request.headers();
    const QByteArray body = request.body();
    entry.bodyLength = body.size();
    entry.bodySha256 = QCryptographicHash::hash(body, QCryptographicHash::Sha256).toHex();
    if (body.size() <= LoggedRequest::keptBodySize)
        entry.body = body;
    entry.clientPort = request.remotePort();
    const QSslConfiguration session = request.sslConfiguration();
    entry.tlsProtocol = protocolName(session.sessionProtocol());
    entry.alpn = session.nextNegotiatedProtocol();
    entry.operation = operationFor(entry.path);

    const QHttpServerRequest::Method expected = entry.operation == Operation::VoiceList
                                                    ? QHttpServerRequest::Method::Get
                                                    : QHttpServerRequest::Method::Post;
    Outcome outcome;
    if (entry.path == capabilitiesPath && !m_capabilities.isEmpty())
        outcome = Answer{200, m_capabilities, jsonType.toByteArray()};
    else if (!entry.operation)
        outcome =
            Answer{404, rejection(404, QStringLiteral("404"), QStringLiteral("Resource not found")).body,
                   jsonType.toByteArray()};
    else if (request.method() != expected)
        outcome =
            Answer{405, rejection(405, QStringLiteral("405"), QStringLiteral("Method not allowed")).body,
                   jsonType.toByteArray()};
    else
        outcome = serve(*entry.operation, request, &entry.keyRole);

    if (Job *job = std::get_if<Job>(&outcome))
        runJob(entry, std::move(*job), responder);
    else
        finish(entry, std::get<Answer>(std::move(outcome)), responder);
    return true;
}

void CloudService::runJob(const LoggedRequest &entry, Job job, QHttpServerResponder &responder)
{
    const quint64 id = ++m_lastJob;
    m_pending.insert(id, std::make_shared<Pending>(Pending{entry, std::move(responder)}));
    const QDeadlineTimer deadline(m_timeLimit);
    // The translator's error codes have six digits; the speech services' three.
    const Answer overrun = entry.operation == Operation::Translation ? translatorFailed(deadlinePassed())
                                                                     : failed(deadlinePassed());
    QTimer::singleShot(m_timeLimit, this, [this, id, overrun] { complete(id, overrun); });
    m_pool.start([this, id, job = std::move(job), deadline] {
        const Answer answer = job(deadline);
        QMetaObject::invokeMethod(this, [this, id, answer] { complete(id, answer); }, Qt::QueuedConnection);
    });
}

// The first of the engine's answer and the time limit answers a request.
void CloudService::complete(quint64 id, const Answer &answer)
{
    const std::shared_ptr<Pending> pending = m_pending.take(id);
    if (!pending)
        return;
    finish(pending->entry, answer, pending->responder);
}

ScriptedReply CloudService::settle(LoggedRequest &entry, Answer &answer)
{
    // A scripted reply replaces the answer of a request that passed the checks.
    std::optional<ScriptedReply> scripted;
    if (entry.operation && answer.status < 400)
        scripted = m_script.take(*entry.operation);
    const ScriptedReply reply = scripted.value_or(ScriptedReply{});
    if (scripted) {
        answer.status = reply.status;
        if (reply.body) {
            answer.body = *reply.body;
            const bool audio =
                entry.operation == Operation::Synthesis && reply.status >= 200 && reply.status < 300;
            answer.contentType = !reply.contentType.isEmpty() ? reply.contentType
                                 : audio                      ? QByteArray("audio/ogg")
                                                              : jsonType.toByteArray();
        }
    }
    entry.status = reply.dropConnection ? 0 : answer.status;
    m_log.append(entry);
    return reply;
}

void CloudService::finish(LoggedRequest entry, Answer answer, QHttpServerResponder &responder)
{
    const ScriptedReply reply = settle(entry, answer);
    if (reply.dropConnection)
        dropConnection(entry.clientPort, responder);
    else
        respond(responder, answer, reply, entry);
}

void CloudService::missingHandler(const QHttpServerRequest &, QHttpServerResponder &responder)
{
    responder.write(QHttpServerResponder::StatusCode::NotFound);
}

CloudService::Outcome CloudService::serve(Operation operation, const QHttpServerRequest &request,
                                          QString *keyRole)
{
    // Logged even when refused, so that a test sees which key was tried.
    *keyRole = m_keys.roleOf(request.headers().combinedValue("Ocp-Apim-Subscription-Key"));
    const auto key = operation == Operation::Translation
                         ? checkTranslatorKey(request, m_keys, m_translatorRegion)
                         : checkSpeechKey(request, m_keys);
    if (const auto *rejected = std::get_if<Rejection>(&key))
        return Answer{rejected->status, rejected->body, jsonType.toByteArray()};
    switch (operation) {
    case Operation::Translation:
        return translate(request);
    case Operation::Recognition:
        return recognize(request);
    case Operation::Synthesis:
        return synthesize(request);
    case Operation::VoiceList:
        return Answer{200, voiceList(), jsonType.toByteArray()};
    }
    return Answer{};
}

CloudService::Outcome CloudService::translate(const QHttpServerRequest &request)
{
    const auto parsed = parseTranslation(request);
    if (const auto *rejected = std::get_if<Rejection>(&parsed))
        return refused(*rejected);
    return Job([engine = m_translation, input = std::get<TranslationInput>(parsed)](QDeadlineTimer deadline) {
        // One entry per input, one translation per target, in their order.
        QJsonArray value;
        for (const TranslationItem &item : input.items) {
            QJsonArray translations;
            for (const QString &to : item.targets) {
                const EngineResult<QString> text = engine->translate(item.text, item.from, to, deadline);
                if (!text)
                    return translatorFailed(text.error());
                qCDebug(lcLocalService) << "translated" << item.from << to << item.text << "->" << *text;
                translations.append(QJsonObject{{QStringLiteral("language"), to},
                                                {QStringLiteral("text"), *text},
                                                {QStringLiteral("sourceCharacters"), item.text.size()}});
            }
            value.append(QJsonObject{{QStringLiteral("translations"), translations}});
        }
        const QJsonObject reply{{QStringLiteral("value"), value}};
        return Answer{200, QJsonDocument(reply).toJson(QJsonDocument::Compact), jsonType.toByteArray()};
    });
}

CloudService::Outcome CloudService::recognize(const QHttpServerRequest &request)
{
    const auto parsed = parseRecognition(request);
    if (const auto *rejected = std::get_if<Rejection>(&parsed))
        return refused(*rejected);
    return Job([engine = m_recognition, input = std::get<RecognitionInput>(parsed)](QDeadlineTimer deadline) {
        return recognitionAnswer(engine->recognize(input.audio, input.language, deadline));
    });
}

CloudService::Outcome CloudService::synthesize(const QHttpServerRequest &request)
{
    const auto parsed = parseSynthesis(request);
    if (const auto *rejected = std::get_if<Rejection>(&parsed))
        return refused(*rejected);
    const SynthesisInput &input = std::get<SynthesisInput>(parsed);
    SpeechRequest speech{input.text, input.language, input.voice, input.rate};
    return Job([engine = m_synthesis, speech](QDeadlineTimer deadline) {
        const EngineResult<QByteArray> audio = engine->synthesize(speech, deadline);
        if (!audio)
            return failed(audio.error());
        return Answer{200, *audio, "audio/ogg"};
    });
}

void CloudService::respond(QHttpServerResponder &responder, const Answer &answer,
                           const ScriptedReply &scripted, const LoggedRequest &entry)
{
    QHttpHeaders headers = scripted.headers;
    headers.replaceOrAppend(QHttpHeaders::WellKnownHeader::ContentType, answer.contentType);
    // Audio is spoken as it is made; everything else is answered whole.
    const bool inPieces = entry.operation == Operation::Synthesis && answer.status >= 200 &&
                          answer.status < 300 && !answer.body.isEmpty() && !scripted.whole;
    const int dropAfter = scripted.dropAfterPieces;
    const quint16 port = entry.clientPort;
    auto later = std::make_shared<QHttpServerResponder>(std::move(responder));
    if (scripted.held) {
        m_held.append([this, later, answer, headers, inPieces, dropAfter, port] {
            if (!later->isResponseCanceled())
                writeAnswer(later, answer, headers, inPieces, dropAfter, port);
        });
        return;
    }
    if (scripted.delay.count() <= 0) {
        writeAnswer(later, answer, headers, inPieces, dropAfter, port);
        return;
    }
    // Answer later; the client may have given up and gone by then.
    QTimer::singleShot(scripted.delay, this, [this, later, answer, headers, inPieces, dropAfter, port] {
        if (!later->isResponseCanceled())
            writeAnswer(later, answer, headers, inPieces, dropAfter, port);
    });
}

void CloudService::writeAnswer(const std::shared_ptr<QHttpServerResponder> &responder, const Answer &answer,
                               const QHttpHeaders &headers, bool inPieces, int dropAfter, quint16 clientPort)
{
    const auto status = static_cast<QHttpServerResponder::StatusCode>(answer.status);
    if (!inPieces) {
        responder->write(answer.body, headers, status);
        return;
    }
    responder->writeBeginChunked(headers, status);
    writePieces(responder, answer.body, 0, dropAfter, clientPort);
}

void CloudService::writePieces(const std::shared_ptr<QHttpServerResponder> &responder, const QByteArray &body,
                               qsizetype at, int dropAfter, quint16 clientPort)
{
    while (at < body.size()) {
        if (dropAfter >= 0 && at >= dropAfter * synthesisPieceBytes) {
            // Late enough for the pieces written so far to have left.
            QTimer::singleShot(std::max(m_synthesisPace, std::chrono::milliseconds(100)), this,
                               [this, clientPort, responder] { abortConnection(clientPort); });
            return;
        }
        const QByteArray piece = body.mid(at, synthesisPieceBytes);
        at += synthesisPieceBytes;
        // The last piece ends the reply (an empty chunk is refused).
        if (at >= body.size()) {
            responder->writeEndChunked(piece);
            return;
        }
        responder->writeChunk(piece);
        if (m_synthesisPace.count() > 0) {
            QTimer::singleShot(m_synthesisPace, Qt::PreciseTimer, this,
                               [this, responder, body, at, dropAfter, clientPort] {
                                   if (!responder->isResponseCanceled())
                                       writePieces(responder, body, at, dropAfter, clientPort);
                               });
            return;
        }
    }
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

void CloudService::abortConnection(quint16 clientPort)
{
    if (const QPointer<QSslSocket> socket = m_sockets.value(clientPort))
        socket->abort();
}

bool CloudService::takeStreamed(QSslSocket *socket, const Http1Head &head)
{
    if (head.method != "POST" || head.target.path() != recognitionPath || !head.isChunked())
        return false;
    auto *request = new StreamedRequest(socket, head, this);
    LoggedRequest entry;
    entry.arrival = QDateTime::currentDateTimeUtc();
    entry.received = std::chrono::steady_clock::now();
    entry.method = head.method;
    entry.path = head.target.path();
    entry.query = head.target.query(QUrl::FullyEncoded);
    entry.headers = head.headers;
    entry.clientPort = request->clientPort();
    const QSslConfiguration session = request->sslConfiguration();
    entry.tlsProtocol = protocolName(session.sessionProtocol());
    entry.alpn = session.nextNegotiatedProtocol();
    entry.operation = Operation::Recognition;
    entry.streamed = true;
    entry.keyRole = m_keys.roleOf(head.headers.combinedValue("Ocp-Apim-Subscription-Key"));

    // Refused at the head, before any audio is sent, as the real service does.
    const auto refuse = [this, request](LoggedRequest logged, const Rejection &rejected) {
        logged.status = rejected.status;
        m_log.append(logged);
        request->answer(rejected.status, rejected.body, jsonType.toByteArray());
    };
    const auto key = checkSpeechKey(head.headers, m_keys);
    if (const auto *rejected = std::get_if<Rejection>(&key)) {
        refuse(entry, *rejected);
        return true;
    }
    const auto language = checkRecognitionHead(QUrlQuery(head.target), head.headers);
    if (const auto *rejected = std::get_if<Rejection>(&language)) {
        refuse(entry, *rejected);
        return true;
    }
    if (!head.expectsContinue()) {
        refuse(entry, rejection(400, QStringLiteral("400"),
                                QStringLiteral("Chunked audio needs the header 'Expect: 100-continue'.")));
        return true;
    }
    recognizeStreamed(request, entry, std::get<QString>(language));
    return true;
}

void CloudService::recognizeStreamed(StreamedRequest *request, LoggedRequest entry, const QString &language)
{
    // Shared by the calls below and the engine work, which outlives none of
    // it: the service waits for its pool before it goes.
    struct Stream
    {
        std::shared_ptr<RecognitionEngine> engine;
        std::unique_ptr<RecognitionStream> recognition;
        std::shared_ptr<SerialWork> work;
        std::atomic<qint64> worked{0};
        LoggedRequest entry;
        QElapsedTimer clock;
        QPointer<StreamedRequest> request;
        bool answered = false;
    };
    auto stream = std::make_shared<Stream>();
    stream->engine = m_recognition;
    stream->recognition = m_recognition->startStream(language);
    stream->work = std::make_shared<SerialWork>(m_pool);
    stream->entry = std::move(entry);
    stream->clock.start();
    stream->request = request;

    const auto answer = [this, stream](Answer answer) {
        if (stream->answered)
            return;
        stream->answered = true;
        const ScriptedReply reply = settle(stream->entry, answer);
        if (!stream->request)
            return;
        if (reply.dropConnection)
            stream->request->drop();
        else
            stream->request->answer(answer.status, answer.body, answer.contentType, reply.headers);
    };
    request->onPiece = [stream](const QByteArray &piece) {
        stream->entry.pieces.append(LoggedRequest::Piece{stream->clock.elapsed(), piece.size()});
        stream->work->post([stream, piece] {
            stream->recognition->feed(piece);
            stream->worked += piece.size();
        });
    };
    request->onLost = [this, stream] {
        if (stream->answered)
            return;
        stream->answered = true;
        qCDebug(lcLocalService) << "streamed recognition: the client went before the end";
        stream->entry.status = 0;
        m_log.append(stream->entry);
    };
    request->onEnd = [this, stream, answer](const QByteArray &whole) {
        stream->entry.bytesWorkedBeforeEnd = stream->worked;
        stream->entry.bodyLength = whole.size();
        stream->entry.bodySha256 = QCryptographicHash::hash(whole, QCryptographicHash::Sha256).toHex();
        if (whole.size() <= LoggedRequest::keptBodySize)
            stream->entry.body = whole;
        const auto samples = checkRecognitionAudio(whole);
        if (const auto *rejected = std::get_if<Rejection>(&samples)) {
            answer(refused(*rejected));
            return;
        }
        const QDeadlineTimer deadline(m_timeLimit);
        QTimer::singleShot(m_timeLimit, this, [answer] { answer(failed(deadlinePassed())); });
        stream->work->post([this, stream, whole, deadline, answer] {
            const EngineResult<Recognised> result = stream->recognition->finish(whole, deadline);
            QMetaObject::invokeMethod(
                this, [result, answer] { answer(recognitionAnswer(result)); }, Qt::QueuedConnection);
        });
    };
    request->proceed();
}
