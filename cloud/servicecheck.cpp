#include "servicecheck.h"

#include "cloudlogging.h"
#include "endpoints.h"
#include "failureclass.h"
#include "frame.h"
#include "translation.h"

#include <QNetworkReply>

using namespace std::chrono_literals;
using namespace tolka::cloud;

namespace {

const QString voiceListPath = QStringLiteral("/cognitiveservices/voices/list");

QVariantMap outcome(const QString &result, int status = 0, const QString &code = {},
                    const QString &region = {})
{
    return {{QStringLiteral("result"), result},
            {QStringLiteral("status"), status},
            {QStringLiteral("code"), code},
            {QStringLiteral("region"), region}};
}

} // namespace

ServiceCheck::ServiceCheck(QObject *parent) : QObject(parent)
{}

void ServiceCheck::run(const Credentials &credentials, const std::optional<QUrl> &origin,
                       const QStringList &regions)
{
    ++m_run;
    m_credentials = credentials;
    m_origin = origin;
    m_regions = regions;
    m_translation = {};
    m_speech = {};
    // Stale connections (to an old origin, say) would only mislead.
    m_manager.clearAccessCache();
    probe(Side::Translation, QString::fromUtf8(credentials.translatorRegion), true);
    probe(Side::Speech, credentials.speechRegion, true);
}

QNetworkRequest ServiceCheck::request(Side side, const QString &region) const
{
    const Endpoints endpoints =
        buildEndpoints(side == Side::Speech ? region : m_credentials.speechRegion, m_origin);
    QNetworkRequest request;
    request.setTransferTimeout(5000ms);
    if (side == Side::Translation) {
        QUrl url = endpoints.translate;
        url.setQuery(QStringLiteral("api-version=") + QLatin1StringView(translatorApiVersion));
        request.setUrl(url);
        request.setRawHeader("Content-Type", "application/json; charset=UTF-8");
        request.setRawHeader("Ocp-Apim-Subscription-Key", m_credentials.translatorKey);
        if (!region.isEmpty())
            request.setRawHeader("Ocp-Apim-Subscription-Region", region.toUtf8());
    } else {
        QUrl url = endpoints.synthesis;
        url.setPath(voiceListPath);
        request.setUrl(url);
        request.setRawHeader("Ocp-Apim-Subscription-Key", m_credentials.speechKey);
    }
    return request;
}

void ServiceCheck::probe(Side side, const QString &region, bool first)
{
    ++progress(side).pending;
    const QNetworkRequest r = request(side, region);
    QNetworkReply *reply = side == Side::Translation ? m_manager.post(r, translationBody("Hello", "en", "fr"))
                                                     : m_manager.get(r);
    const quint64 run = m_run;
    connect(reply, &QNetworkReply::finished, this, [this, side, region, first, run, reply] {
        reply->deleteLater();
        if (run == m_run)
            onReply(side, region, first, reply);
    });
}

void ServiceCheck::onReply(Side side, const QString &region, bool first, QNetworkReply *reply)
{
    Progress &p = progress(side);
    --p.pending;
    if (!p.result.isEmpty())
        return;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const Verdict verdict =
        classifyReply(side == Side::Translation ? Service::Translation : Service::Synthesis, reply->error(),
                      status, reply->readAll(), reply->rawHeader("Retry-After"));
    if (!first) {
        // Another region: only a success says something.
        if (verdict.replyClass == ReplyClass::Success)
            settle(side, outcome(QStringLiteral("wrongRegion"), verdict.status, {}, region));
        else if (p.pending == 0)
            settle(side, p.rejection);
        return;
    }
    switch (verdict.replyClass) {
    case ReplyClass::Success:
    case ReplyClass::NothingRecognised:
        settle(side, outcome(QStringLiteral("working"), verdict.status));
        return;
    case ReplyClass::KeyRejected:
        p.rejection = outcome(QStringLiteral("keyRejected"), verdict.status, verdict.code);
        tryOtherRegions(side);
        return;
    case ReplyClass::Throttled:
        settle(side, outcome(QStringLiteral("quotaUsedUp"), verdict.status, verdict.code));
        return;
    case ReplyClass::Transient:
        settle(side, outcome(verdict.status == 0 ? QStringLiteral("noNetwork") : QStringLiteral("failed"),
                             verdict.status, verdict.code));
        return;
    case ReplyClass::BadRequest:
    case ReplyClass::TooLarge:
        settle(side, outcome(QStringLiteral("failed"), verdict.status, verdict.code));
        return;
    }
}

void ServiceCheck::tryOtherRegions(Side side)
{
    QStringList others;
    if (side == Side::Translation) {
        // A translator key may belong to a global resource, or to a region.
        if (!m_credentials.translatorRegion.isEmpty())
            others.append(QString());
        for (const QString &region : std::as_const(m_regions)) {
            if (region != QString::fromUtf8(m_credentials.translatorRegion))
                others.append(region);
        }
    } else {
        for (const QString &region : std::as_const(m_regions)) {
            if (region != m_credentials.speechRegion)
                others.append(region);
        }
    }
    if (others.isEmpty()) {
        settle(side, progress(side).rejection);
        return;
    }
    for (const QString &region : std::as_const(others))
        probe(side, region, false);
}

void ServiceCheck::settle(Side side, const QVariantMap &result)
{
    progress(side).result = result;
    qCInfo(lcCloud).noquote() << "check:" << (side == Side::Translation ? "translation" : "speech")
                              << result.value(QStringLiteral("result")).toString()
                              << result.value(QStringLiteral("code")).toString();
    if (!m_translation.result.isEmpty() && !m_speech.result.isEmpty())
        emit finished(m_translation.result, m_speech.result);
}
