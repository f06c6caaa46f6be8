#pragma once

#include "certificate.h"
#include "engines.h"
#include "replyscript.h"
#include "requestlog.h"
#include "validation.h"

#include <QAbstractHttpServer>
#include <QHash>
#include <QHostAddress>
#include <QPointer>
#include <QSslSocket>

#include <functional>
#include <memory>

class QSslServer;

// A local stand-in for the three cloud operations (translation, short-audio
// recognition, synthesis) over HTTPS: TLS 1.3 and HTTP/2 by ALPN, HTTP/1.1
// as fallback. Checks keys, headers and bodies like the real services,
// logs every request and answers from the reply script or the engines.
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
    void setTranslationEngine(std::unique_ptr<TranslationEngine> engine)
    {
        m_translation = std::move(engine);
    }
    void setRecognitionEngine(std::unique_ptr<RecognitionEngine> engine)
    {
        m_recognition = std::move(engine);
    }
    void setSynthesisEngine(std::unique_ptr<SynthesisEngine> engine) { m_synthesis = std::move(engine); }

protected:
    bool handleRequest(const QHttpServerRequest &request, QHttpServerResponder &responder) override;
    void missingHandler(const QHttpServerRequest &request, QHttpServerResponder &responder) override;

private:
    struct Answer
    {
        int status = 200;
        QByteArray body;
        QByteArray contentType;
    };
    [[nodiscard]] Answer serve(Operation operation, const QHttpServerRequest &request, QString *keyRole);
    [[nodiscard]] Answer translate(const QHttpServerRequest &request);
    [[nodiscard]] Answer recognize(const QHttpServerRequest &request);
    [[nodiscard]] Answer synthesize(const QHttpServerRequest &request);
    void respond(QHttpServerResponder &responder, const Answer &answer, const ScriptedReply &scripted);
    void dropConnection(quint16 clientPort, QHttpServerResponder &responder);

    QSslServer *m_server = nullptr;
    QHash<quint16, QPointer<QSslSocket>> m_sockets;
    QList<quint16> m_connectionPorts;
    QList<std::function<void()>> m_held;
    ReplyScript m_script;
    RequestLog m_log;
    KeyRing m_keys = KeyRing::buildKeys();
    std::unique_ptr<TranslationEngine> m_translation = std::make_unique<EchoTranslation>();
    std::unique_ptr<RecognitionEngine> m_recognition = std::make_unique<FixedRecognition>();
    std::unique_ptr<SynthesisEngine> m_synthesis = std::make_unique<ToneSynthesis>();
};
