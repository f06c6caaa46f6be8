#pragma once

#include "certificate.h"
#include "engines.h"
#include "replyscript.h"
#include "requestlog.h"
#include "validation.h"

#include <QAbstractHttpServer>
#include <QDeadlineTimer>
#include <QHash>
#include <QHostAddress>
#include <QPointer>
#include <QSslSocket>
#include <QThread>
#include <QThreadPool>

#include <chrono>
#include <functional>
#include <memory>
#include <variant>

class ConnectionRouter;
class QSslServer;
class StreamedRequest;
struct Http1Head;

// A local stand-in for the three cloud operations (translation, short-audio
// recognition, synthesis) over HTTPS: TLS 1.3 and HTTP/2 by ALPN, HTTP/1.1
// as fallback. Checks keys, headers and bodies like the real services,
// logs every request and answers from the reply script or the engines.
// Engine work runs on a pool of worker threads, so requests are served side
// by side; a request whose engine has not answered within the time limit
// gets a 504 reply.
class CloudService : public QAbstractHttpServer
{
public:
    explicit CloudService(QObject *parent = nullptr);
    ~CloudService() override;

    // Listens on address:port (0 picks a free port). False when it cannot.
    bool listen(const TlsIdentity &identity, quint16 port = 0,
                const QHostAddress &address = QHostAddress(QHostAddress::LocalHost));
    [[nodiscard]] quint16 port() const;
    // "https://127.0.0.1:port", to hand to the client as its origin.
    [[nodiscard]] QString origin() const;

    [[nodiscard]] ReplyScript &script() { return m_script; }
    [[nodiscard]] RequestLog &log() { return m_log; }
    // Answers every reply the script told to hold, in arrival order.
    void releaseHeld();
    [[nodiscard]] qsizetype heldCount() const { return m_held.size(); }
    // Client ports of the TLS connections accepted so far, in order.
    [[nodiscard]] const QList<quint16> &connectionPorts() const { return m_connectionPorts; }

    void setKeys(const KeyRing &keys) { m_keys = keys; }
    // The region of the translator resource it stands in for; empty (the
    // default) for a global resource, which needs no region header.
    void setTranslatorRegion(const QString &region) { m_translatorRegion = region; }
    void setTranslationEngine(std::shared_ptr<TranslationEngine> engine)
    {
        m_translation = std::move(engine);
    }
    void setRecognitionEngine(std::shared_ptr<RecognitionEngine> engine)
    {
        m_recognition = std::move(engine);
    }
    void setSynthesisEngine(std::shared_ptr<SynthesisEngine> engine) { m_synthesis = std::move(engine); }
    // What the offline engines can do, answered at GET /tolka/offline; none
    // (404) with the fixed engines.
    void setCapabilities(const QByteArray &json) { m_capabilities = json; }
    // How long an engine may work on one request.
    void setTimeLimit(std::chrono::milliseconds limit) { m_timeLimit = limit; }
    [[nodiscard]] std::chrono::milliseconds timeLimit() const { return m_timeLimit; }
    // The synthesis audio goes out in pieces of synthesisPieceBytes (200 ms
    // of speech), `pace` apart like a service that speaks as it goes; 0 (the
    // default) sends them back to back.
    void setSynthesisPace(std::chrono::milliseconds pace) { m_synthesisPace = pace; }
    static constexpr qsizetype synthesisPieceBytes = 600;
    // Requests whose engine work has not been answered yet.
    [[nodiscard]] qsizetype pendingCount() const { return m_pending.size(); }

    // One reply: status, body and its type.
    struct Answer
    {
        int status = 200;
        QByteArray body;
        QByteArray contentType;
    };

protected:
    bool handleRequest(const QHttpServerRequest &request, QHttpServerResponder &responder) override;
    void missingHandler(const QHttpServerRequest &request, QHttpServerResponder &responder) override;

private:
    // Engine work for one request, run on a worker thread.
    using Job = std::function<Answer(QDeadlineTimer)>;
    using Outcome = std::variant<Answer, Job>;
    struct Pending;

    [[nodiscard]] Outcome serve(Operation operation, const QHttpServerRequest &request, QString *keyRole);
    [[nodiscard]] Outcome translate(const QHttpServerRequest &request);
    [[nodiscard]] Outcome recognize(const QHttpServerRequest &request);
    [[nodiscard]] Outcome synthesize(const QHttpServerRequest &request);
    void runJob(const LoggedRequest &entry, Job job, QHttpServerResponder &responder);
    void complete(quint64 id, const Answer &answer);
    void finish(LoggedRequest entry, Answer answer, QHttpServerResponder &responder);
    void respond(QHttpServerResponder &responder, const Answer &answer, const ScriptedReply &scripted,
                 const LoggedRequest &entry);
    void writeAnswer(const std::shared_ptr<QHttpServerResponder> &responder, const Answer &answer,
                     const QHttpHeaders &headers, bool inPieces, int dropAfter, quint16 clientPort);
    void writePieces(const std::shared_ptr<QHttpServerResponder> &responder, const QByteArray &body,
                     qsizetype at, int dropAfter, quint16 clientPort);
    void abortConnection(quint16 clientPort);
    void dropConnection(quint16 clientPort, QHttpServerResponder &responder);
    // The script's say over a request that passed the checks; logs it.
    [[nodiscard]] ScriptedReply settle(LoggedRequest &entry, Answer &answer);
    // A recognition whose audio streams in (HTTP/1.1, chunked).
    bool takeStreamed(QSslSocket *socket, const Http1Head &head);
    void recognizeStreamed(StreamedRequest *request, LoggedRequest entry, const QString &language);

    QSslServer *m_server = nullptr;
    ConnectionRouter *m_router = nullptr;
    QHash<quint16, QPointer<QSslSocket>> m_sockets;
    QList<quint16> m_connectionPorts;
    QList<std::function<void()>> m_held;
    ReplyScript m_script;
    RequestLog m_log;
    KeyRing m_keys = KeyRing::buildKeys();
    QString m_translatorRegion;
    QByteArray m_capabilities;
    std::shared_ptr<TranslationEngine> m_translation = std::make_shared<EchoTranslation>();
    std::shared_ptr<RecognitionEngine> m_recognition = std::make_shared<FixedRecognition>();
    std::shared_ptr<SynthesisEngine> m_synthesis = std::make_shared<ToneSynthesis>();
    std::chrono::milliseconds m_timeLimit{30000};
    std::chrono::milliseconds m_synthesisPace{0};
    QHash<quint64, std::shared_ptr<Pending>> m_pending;
    quint64 m_lastJob = 0;
    QThreadPool m_pool;
};
