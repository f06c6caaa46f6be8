#include "frame.h"

#include "clientstate.h"
#include "cloudlogging.h"
#include "keys.h"
#include "messenger.h"

#include <QCoreApplication>
#include <QFile>
#include <QHttpHeaders>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaEnum>
#include <QNetworkReply>
#include <QPointer>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslSocket>

#include <chrono>

using namespace std::chrono_literals;

namespace tolka::cloud {

namespace {
std::chrono::milliseconds &timeoutSetting()
{
    static std::chrono::milliseconds timeout = defaultTransferTimeout;
    return timeout;
}
} // namespace

void setTransferTimeout(std::chrono::milliseconds timeout)
{
    timeoutSetting() = timeout;
}

std::chrono::milliseconds transferTimeout()
{
    return timeoutSetting();
}

void setUpTls()
{
    // Windows' native backend; elsewhere the default one stays active (asked
    // only where it exists, so other platforms log no warning).
    const QString schannel = QStringLiteral("schannel");
    if (QSslSocket::availableBackends().contains(schannel))
        QSslSocket::setActiveBackend(schannel);
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setAllowedNextProtocols({QSslConfiguration::ALPNProtocolHTTP2});
    if (QSslSocket::isProtocolSupported(QSsl::TlsV1_3))
        tls.setProtocol(QSsl::TlsV1_3);
    else if (QSslSocket::isProtocolSupported(QSsl::TlsV1_2))
        tls.setProtocol(QSsl::TlsV1_2);
    QSslConfiguration::setDefaultConfiguration(tls);
}

bool trustExtraCaFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcCloud) << "extra CA file cannot be read:" << path << file.errorString();
        return false;
    }
    const QList<QSslCertificate> certificates = QSslCertificate::fromData(file.readAll(), QSsl::Pem);
    if (certificates.isEmpty()) {
        qCWarning(lcCloud) << "extra CA file holds no PEM certificate:" << path;
        return false;
    }
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.addCaCertificates(certificates);
    QSslConfiguration::setDefaultConfiguration(tls);
    qCDebug(lcCloud) << "trusting" << certificates.size() << "extra CA certificate(s) from" << path;
    return true;
}

void prepareRequests()
{
    ClientState &s = clientState();
    // Order matters: the copies are taken before later headers are added.
    // Fresh templates, so that no header of an earlier service stays.
    s.translateRequest = QNetworkRequest();
    QNetworkRequest &base = s.translateRequest;
    base.setTransferTimeout(transferTimeout());
    base.setPriority(QNetworkRequest::HighPriority);
    base.setAttribute(QNetworkRequest::DoNotBufferUploadDataAttribute, true);

    s.recognitionRequest = base;
    s.recognitionRequest.setHeader(QNetworkRequest::ContentTypeHeader,
                                   QByteArrayLiteral("audio/ogg; codecs=opus"));

    s.synthesisRequest = base;
    s.synthesisRequest.setUrl(s.synthesisUrl);
    QHttpHeaders synthesisHeaders = s.synthesisRequest.headers();
    synthesisHeaders.replaceOrAppend(QHttpHeaders::WellKnownHeader::ContentType, "application/ssml+xml");
    synthesisHeaders.replaceOrAppend("X-Microsoft-OutputFormat", "audio-24khz-16bit-24kbps-mono-opus");
    s.synthesisRequest.setHeaders(synthesisHeaders);

    base.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json; charset=UTF-8"));

    s.translateUrl.setQuery(QStringLiteral("api-version=") + QLatin1StringView(translatorApiVersion));
    s.transcriptionUrl.setQuery(QStringLiteral("api-version=2024-11-15"));
    s.transcriptionRequest = QNetworkRequest(s.transcriptionUrl);
}

void preconnect()
{
    ClientState &s = clientState();
    if (!s.networkManager)
        return;
    for (const QUrl *url : {&s.translateUrl, &s.recognitionUrl, &s.transcriptionUrl, &s.synthesisUrl})
        s.networkManager->connectToHostEncrypted(url->host(), quint16(url->port(443)),
                                                 QSslConfiguration::defaultConfiguration());
}

bool admitRequest()
{
    ClientState &s = clientState();
    if (s.failureCount >= maxSendsPerCycle) {
        s.failureCount = 0;
        sendMessage(QStringLiteral("WARNING"), false);
        return false;
    }
    // From the third send of a failing cycle on, start over with fresh
    // connections: a pooled one may be the cause.
    if (s.failureCount >= 2 && s.networkManager)
        s.networkManager->clearAccessCache();
    return true;
}

bool speechBackupKeyDue()
{
    const ClientState &s = clientState();
    return s.useSpeechBackupKey || s.failureCount != 0;
}

bool translatorBackupKeyDue()
{
    const ClientState &s = clientState();
    return s.useTranslatorBackupKey || s.failureCount != 0;
}

void applyHeaders(QNetworkRequest &request, std::optional<qint64> contentLength,
                  std::optional<QByteArray> key)
{
    QHttpHeaders headers = request.headers();
    const QByteArray chosen = key ? *key : speechKey(speechBackupKeyDue());
    headers.replaceOrAppend("Ocp-Apim-Subscription-Key", chosen);
    if (contentLength)
        headers.replaceOrAppend(QHttpHeaders::WellKnownHeader::ContentLength,
                                QByteArray::number(*contentLength));
    request.setHeaders(headers);
}

bool replySucceeded(const QRestReply &reply)
{
    return reply.error() == QNetworkReply::NoError && reply.isHttpStatusSuccess();
}

QByteArray peekBody(QNetworkReply *reply)
{
    if (!reply || !reply->isOpen())
        return {};
    return reply->peek(reply->bytesAvailable());
}

void logReplyError(const QRestReply &reply)
{
    // The network reply, not the REST reply, reports HTTP error statuses.
    QNetworkReply *network = reply.networkReply();
    const QUrl url = network ? network->url() : QUrl();
    const QByteArray body = peekBody(network);
    const QNetworkReply::NetworkError error = network ? network->error() : reply.error();
    const QString errorString = network ? network->errorString() : reply.errorString();
    const char *errorName = QMetaEnum::fromType<QNetworkReply::NetworkError>().valueToKey(error);
    qCDebug(lcCloud).nospace() << "request failed:\n"
                               << url.toString() << '\n'
                               << redactKeys(body) << '\n'
                               << (errorName ? errorName : "UnknownNetworkError") << '\n'
                               << QString::fromUtf8(redactKeys(errorString.toUtf8())) << '\n';
    ++clientState().failureCount;
}

void releaseReply(const QRestReply &reply)
{
    const QPointer<QNetworkReply> network = reply.networkReply();
    if (network)
        network->deleteLater();
}

QJsonValue parseJson(const QByteArray &body)
{
    const QJsonDocument document = QJsonDocument::fromJson(body);
    if (document.isArray())
        return document.array();
    if (document.isObject())
        return document.object();
    return QJsonValue(QJsonValue::Undefined);
}

void sendMessage(const QString &tag, const QVariant &value)
{
    if (const auto &hub = clientState().hub)
        hub->forwardMessage(tag, value);
}

} // namespace tolka::cloud
