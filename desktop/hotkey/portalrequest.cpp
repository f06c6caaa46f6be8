#include "portalrequest.h"

#include "hotkeylogging.h"

#include <QAtomicInteger>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QRandomGenerator>

using namespace Qt::StringLiterals;

namespace {

const QString portalService = u"org.freedesktop.portal.Desktop"_s;
const QString requestInterface = u"org.freedesktop.portal.Request"_s;

} // namespace

PortalRequest::PortalRequest(const QDBusConnection &bus, QDBusMessage call, int timeoutMs, QObject *parent)
    : QObject(parent), m_bus(bus)
{
    QList<QVariant> arguments = call.arguments();
    QVariantMap options = arguments.isEmpty() ? QVariantMap() : arguments.takeLast().toMap();
    const QString token = makeToken();
    options.insert(u"handle_token"_s, token);
    arguments.append(options);
    call.setArguments(arguments);
    follow(objectPath(m_bus, u"request"_s, token));

    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this, timeoutMs] {
        // Cancels the dialog the portal may still be showing.
        if (!m_path.isEmpty())
            m_bus.send(QDBusMessage::createMethodCall(portalService, m_path, requestInterface, u"Close"_s));
        fail(QDBusError(QDBusError::Timeout, u"no answer from the portal in %1 ms"_s.arg(timeoutMs)));
    });
    m_deadline.start(timeoutMs);

    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, timeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *done) {
        done->deleteLater();
        const QDBusPendingReply<QDBusObjectPath> reply = *done;
        if (reply.isError()) {
            fail(reply.error());
            return;
        }
        // Portals older than the naming rule choose the path themselves.
        const QString path = reply.value().path();
        if (!m_done && path != m_path)
            follow(path);
    });
}

PortalRequest::~PortalRequest()
{
    finish();
}

QString PortalRequest::makeToken()
{
    static QAtomicInteger<quint32> counter;
    return u"tolka%1_%2"_s.arg(counter.fetchAndAddRelaxed(1)).arg(QRandomGenerator::global()->generate());
}

QString PortalRequest::objectPath(const QDBusConnection &bus, const QString &kind, const QString &token)
{
    // ":1.42" becomes "1_42".
    QString sender = bus.baseService();
    if (sender.startsWith(u':'))
        sender.remove(0, 1);
    sender.replace(u'.', u'_');
    return u"/org/freedesktop/portal/desktop/%1/%2/%3"_s.arg(kind, sender, token);
}

void PortalRequest::follow(const QString &path)
{
    if (!m_path.isEmpty())
        m_bus.disconnect(portalService, m_path, requestInterface, u"Response"_s, this,
                         SLOT(onResponse(uint, QVariantMap)));
    m_path = path;
    if (!m_bus.connect(portalService, m_path, requestInterface, u"Response"_s, this,
                       SLOT(onResponse(uint, QVariantMap))))
        qCWarning(lcHotkey) << "cannot follow the portal's request" << m_path;
}

void PortalRequest::onResponse(uint response, const QVariantMap &results)
{
    if (m_done)
        return;
    finish();
    emit answered(response, results);
}

void PortalRequest::finish()
{
    m_deadline.stop();
    if (!m_done && !m_path.isEmpty())
        m_bus.disconnect(portalService, m_path, requestInterface, u"Response"_s, this,
                         SLOT(onResponse(uint, QVariantMap)));
    m_done = true;
}

void PortalRequest::fail(const QDBusError &error)
{
    if (m_done)
        return;
    finish();
    emit failed(error);
}
