#include "serviceswitch.h"

#include "clientstate.h"
#include "cloudlogging.h"
#include "endpoints.h"
#include "frame.h"

#include <QCoreApplication>

namespace tolka::cloud {

namespace {

Availability &availability()
{
    static Availability check;
    return check;
}

} // namespace

void useService(const Credentials &credentials, const std::optional<QUrl> &origin)
{
    ClientState &s = clientState();
    s.credentials = credentials;
    s.origin = origin;
    const Endpoints endpoints = buildEndpoints(credentials.speechRegion, origin);
    s.translateUrl = endpoints.translate;
    s.synthesisUrl = endpoints.synthesis;
    s.recognitionUrl = endpoints.recognition;
    s.transcriptionUrl = endpoints.transcription;
    prepareRequests();
    qCDebug(lcCloud).noquote() << "service: speech region" << credentials.speechRegion << "translator region"
                               << (credentials.translatorRegion.isEmpty() ? QByteArray("global")
                                                                          : credentials.translatorRegion)
                               << (origin ? QStringLiteral("at ") + origin->toString() : QString());
    if (!s.networkManager)
        return;
    // Connections to the old hosts, or signed for the old keys, are of no use.
    s.networkManager->clearAccessCache();
    QMetaObject::invokeMethod(QCoreApplication::instance(), &preconnect, Qt::QueuedConnection);
}

const Credentials &currentCredentials()
{
    return clientState().credentials;
}

const std::optional<QUrl> &currentOrigin()
{
    return clientState().origin;
}

void setAvailability(Availability check)
{
    availability() = std::move(check);
}

bool serviceReady(const std::function<void()> &send)
{
    const Availability &check = availability();
    return !check || check(send);
}

} // namespace tolka::cloud
