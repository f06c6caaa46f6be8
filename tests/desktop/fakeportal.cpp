#include "fakeportal.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

const QString service = u"org.freedesktop.portal.Desktop"_s;
const QString desktopPath = u"/org/freedesktop/portal/desktop"_s;
const QString shortcutsInterface = u"org.freedesktop.portal.GlobalShortcuts"_s;

struct Shortcut
{
    QString id;
    QVariantMap options;
};

} // namespace

Q_DECLARE_METATYPE(Shortcut)

namespace {

QDBusArgument &operator<<(QDBusArgument &argument, const Shortcut &shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.options;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, Shortcut &shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.options;
    argument.endStructure();
    return argument;
}

// A map argument as a virtual object gets it: still marshalled.
QVariantMap mapOf(const QVariant &value)
{
    if (value.canConvert<QDBusArgument>())
        return qdbus_cast<QVariantMap>(value.value<QDBusArgument>());
    return value.toMap();
}

} // namespace

FakePortal::FakePortal(const QString &address, PortalScript script)
    : m_name(u"fake-portal-%1"_s.arg(quintptr(this))), m_bus(QDBusConnection::connectToBus(address, m_name)),
      m_script(script)
{
    qDBusRegisterMetaType<Shortcut>();
    qDBusRegisterMetaType<QList<Shortcut>>();
}

FakePortal::~FakePortal()
{
    m_bus.unregisterObject(desktopPath, QDBusConnection::UnregisterTree);
    m_bus.unregisterService(service);
    QDBusConnection::disconnectFromBus(m_name);
}

bool FakePortal::start()
{
    return m_bus.isConnected() && m_bus.registerVirtualObject(desktopPath, this, QDBusConnection::SubPath) &&
           m_bus.registerService(service);
}

QString FakePortal::introspect(const QString &) const
{
    return {};
}

QString FakePortal::objectPath(const QDBusMessage &call, const QString &kind, const QString &token)
{
    QString sender = call.service();
    sender.remove(0, 1).replace(u'.', u'_');
    return u"%1/%2/%3/%4"_s.arg(desktopPath, kind, sender, token);
}

bool FakePortal::handleMessage(const QDBusMessage &message, const QDBusConnection &connection)
{
    const QList<QVariant> arguments = message.arguments();
    const QString member = message.member();
    if (message.interface() == "org.freedesktop.DBus.Properties"_L1 && member == "Get"_L1) {
        if (!m_script.hasShortcuts || arguments.value(0).toString() != shortcutsInterface)
            connection.send(message.createErrorReply(QDBusError::UnknownInterface, u"no such interface"_s));
        else
            connection.send(message.createReply(QVariant::fromValue(QDBusVariant(m_script.version))));
        return true;
    }
    if (message.interface() == shortcutsInterface && m_script.hasShortcuts && member == "CreateSession"_L1) {
        sessionOptions = mapOf(arguments.value(0));
        const QString request =
            objectPath(message, u"request"_s, sessionOptions.value(u"handle_token"_s).toString());
        const QString session =
            objectPath(message, u"session"_s, sessionOptions.value(u"session_handle_token"_s).toString());
        sessions.append(session);
        connection.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
        respond(request, m_script.sessionResponse, {{u"session_handle"_s, session}});
        return true;
    }
    if (message.interface() == shortcutsInterface && m_script.hasShortcuts && member == "BindShortcuts"_L1) {
        boundSession = arguments.value(0).value<QDBusObjectPath>().path();
        const auto shortcuts = qdbus_cast<QList<Shortcut>>(arguments.value(1).value<QDBusArgument>());
        QList<Shortcut> bound;
        for (const Shortcut &shortcut : shortcuts) {
            boundShortcuts.insert(shortcut.id, shortcut.options);
            bound.append({shortcut.id,
                          {{u"description"_s, shortcut.options.value(u"description"_s)},
                           {u"trigger_description"_s, shortcut.options.value(u"preferred_trigger"_s)}}});
        }
        const QVariantMap options = mapOf(arguments.value(3));
        const QString request =
            objectPath(message, u"request"_s, options.value(u"handle_token"_s).toString());
        connection.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
        respond(request, m_script.bindResponse, {{u"shortcuts"_s, QVariant::fromValue(bound)}});
        return true;
    }
    if (message.interface() == "org.freedesktop.portal.Session"_L1 && member == "Close"_L1) {
        closedSessions.append(message.path());
        connection.send(message.createReply());
        return true;
    }
    if (message.interface() == "org.freedesktop.portal.Request"_L1 && member == "Close"_L1) {
        closedRequests.append(message.path());
        connection.send(message.createReply());
        return true;
    }
    return false;
}

void FakePortal::respond(const QString &request, uint response, const QVariantMap &results)
{
    if (!m_script.answers)
        return;
    // After the reply, from the event loop, as a portal that showed a dialog.
    QTimer::singleShot(0, this, [this, request, response, results] {
        QDBusMessage signal =
            QDBusMessage::createSignal(request, u"org.freedesktop.portal.Request"_s, u"Response"_s);
        signal.setArguments({response, results});
        m_bus.send(signal);
    });
}

void FakePortal::emitShortcutSignal(const char *name, const QString &session, const QString &shortcut)
{
    QDBusMessage signal =
        QDBusMessage::createSignal(desktopPath, shortcutsInterface, QString::fromLatin1(name));
    signal.setArguments({QVariant::fromValue(QDBusObjectPath(session)), shortcut, quint64(0), QVariantMap()});
    m_bus.send(signal);
}

void FakePortal::activate(const QString &session, const QString &shortcut)
{
    emitShortcutSignal("Activated", session, shortcut);
}

void FakePortal::deactivate(const QString &session, const QString &shortcut)
{
    emitShortcutSignal("Deactivated", session, shortcut);
}

void FakePortal::closeSession(const QString &session)
{
    QDBusMessage signal =
        QDBusMessage::createSignal(session, u"org.freedesktop.portal.Session"_s, u"Closed"_s);
    signal.setArguments({QVariantMap()});
    m_bus.send(signal);
}
