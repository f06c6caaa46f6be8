#include "quickconnections.h"

#include "cloudlogging.h"
#include "lowdelay.h"
#include "speedswitch.h"

#include <QNetworkReply>
#include <QUrl>

namespace tolka::cloud {

namespace {
SpeedSwitch lowDelay("TOLKA_LOW_DELAY", true);
} // namespace

bool lowDelayEnabled()
{
    return lowDelay.on();
}

void setLowDelayEnabled(bool enabled)
{
    lowDelay.set(enabled);
}

void quickenConnectionsTo(const QUrl &url)
{
    if (!lowDelay.on())
        return;
    const int changed = net::disableNagleTo(quint16(url.port(443)));
    if (changed > 0)
        qCDebug(lcCloud) << "TCP_NODELAY set on" << changed << "connection(s) to" << url.host();
    else if (changed < 0)
        qCDebug(lcCloud) << "cannot list the process's sockets; Nagle's algorithm stays on";
}

void quickenConnectionOf(QNetworkReply *reply)
{
    if (!reply || !lowDelay.on())
        return;
    // A new connection exists from the start of its connect; its first
    // request leaves after the TLS handshake, usually after this has run.
    const QUrl url = reply->url();
    QObject::connect(reply, &QNetworkReply::socketStartedConnecting, reply,
                     [url] { quickenConnectionsTo(url); });
    QObject::connect(reply, &QNetworkReply::encrypted, reply, [url] { quickenConnectionsTo(url); });
}

} // namespace tolka::cloud
