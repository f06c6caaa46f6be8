#include "portalholdkey.h"

#include "holdkeysyms.h"
#include "hotkeylogging.h"
#include "portalrequest.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

const QString portalService = u"org.freedesktop.portal.Desktop"_s;
const QString portalPath = u"/org/freedesktop/portal/desktop"_s;
const QString shortcutsInterface = u"org.freedesktop.portal.GlobalShortcuts"_s;
const QString sessionInterface = u"org.freedesktop.portal.Session"_s;

// How the portal lists the shortcut to its user.
const QString shortcutDescription = u"Hold to talk (Tolka)"_s;

// A shortcut as the portal takes and gives it: (sa{sv}).
struct PortalShortcut
{
    QString id;
    QVariantMap options;
};

} // namespace

Q_DECLARE_METATYPE(PortalShortcut)

namespace {

QDBusArgument &operator<<(QDBusArgument &argument, const PortalShortcut &shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.options;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, PortalShortcut &shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.options;
    argument.endStructure();
    return argument;
}

void registerTypes()
{
    static const bool registered = [] {
        qDBusRegisterMetaType<PortalShortcut>();
        qDBusRegisterMetaType<QList<PortalShortcut>>();
        return true;
    }();
    Q_UNUSED(registered);
}

// A portal that is not there, or not new enough: global shortcuts are not
// to be had on this desktop.
bool isMissing(const QDBusError &error)
{
    switch (error.type()) {
    case QDBusError::ServiceUnknown:
    case QDBusError::UnknownObject:
    case QDBusError::UnknownInterface:
    case QDBusError::UnknownMethod:
    case QDBusError::UnknownProperty:
    case QDBusError::InvalidArgs:
    case QDBusError::NoReply:
    case QDBusError::Timeout:
    case QDBusError::TimedOut:
    case QDBusError::Disconnected:
        return true;
    default:
        return false;
    }
}

QString pathOf(const QVariant &value)
{
    if (value.metaType() == QMetaType::fromType<QDBusObjectPath>())
        return value.value<QDBusObjectPath>().path();
    return value.toString();
}

} // namespace

PortalHoldKey::PortalHoldKey(const QDBusConnection &bus, Timeouts timeouts, QObject *parent)
    : HoldKey(parent), m_bus(bus), m_timeouts(timeouts)
{
    registerTypes();
}

PortalHoldKey::PortalHoldKey(QObject *parent)
    : PortalHoldKey(QDBusConnection::sessionBus(), Timeouts(), parent)
{}

PortalHoldKey::~PortalHoldKey()
{
    ungrab();
}

QString PortalHoldKey::backend() const
{
    return u"portal"_s;
}

QString PortalHoldKey::triggerOf(QKeyCombination key)
{
    const std::optional<KeySymbol> symbol = keySymbolOf(key.key());
    if (!symbol)
        return {};
    QStringList parts;
    const Qt::KeyboardModifiers modifiers = key.keyboardModifiers();
    if (modifiers.testFlag(Qt::ControlModifier))
        parts << u"CTRL"_s;
    if (modifiers.testFlag(Qt::AltModifier))
        parts << u"ALT"_s;
    if (modifiers.testFlag(Qt::ShiftModifier))
        parts << u"SHIFT"_s;
    if (modifiers.testFlag(Qt::MetaModifier))
        parts << u"LOGO"_s;
    parts << QString::fromLatin1(symbol->name);
    return parts.join(u'+');
}

void PortalHoldKey::grab(QKeyCombination key)
{
    const quint64 attempt = ++m_attempt;
    m_trigger = triggerOf(key);
    if (m_trigger.isEmpty()) {
        qCWarning(lcHotkey) << "the portal has no name for" << key.key();
        setStatus(Status::Invalid);
        return;
    }
    if (!m_bus.isConnected()) {
        qCWarning(lcHotkey) << "no D-Bus session bus: global shortcuts are unavailable";
        setStatus(Status::Unavailable);
        return;
    }
    // Nothing is bound until the portal says so.
    setStatus(Status::Off);
    checkVersion(attempt);
}

void PortalHoldKey::ungrab()
{
    ++m_attempt;
    if (m_request)
        m_request->deleteLater();
    m_request = nullptr;
    follow(false);
    if (!m_session.isEmpty()) {
        // The answer does not matter: the session is ours no more either way.
        m_bus.send(QDBusMessage::createMethodCall(portalService, m_session, sessionInterface, u"Close"_s));
        m_session.clear();
    }
}

void PortalHoldKey::checkVersion(quint64 attempt)
{
    QDBusMessage get = QDBusMessage::createMethodCall(portalService, portalPath,
                                                      u"org.freedesktop.DBus.Properties"_s, u"Get"_s);
    get.setArguments({shortcutsInterface, u"version"_s});
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(get, m_timeouts.callMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, attempt](QDBusPendingCallWatcher *done) {
                done->deleteLater();
                if (attempt != m_attempt)
                    return;
                const QDBusPendingReply<QDBusVariant> reply = *done;
                if (reply.isError()) {
                    failWith(reply.error(), "asking for the global shortcuts' version");
                    return;
                }
                const uint version = reply.value().variant().toUInt();
                if (version < neededVersion) {
                    qCWarning(lcHotkey) << "the portal's global shortcuts are version" << version
                                        << "; version" << neededVersion << "is needed";
                    setStatus(Status::Unavailable);
                    return;
                }
                createSession(attempt);
            });
}

void PortalHoldKey::createSession(quint64 attempt)
{
    const QString sessionToken = PortalRequest::makeToken();
    QDBusMessage call =
        QDBusMessage::createMethodCall(portalService, portalPath, shortcutsInterface, u"CreateSession"_s);
    call.setArguments({QVariantMap{{u"session_handle_token"_s, sessionToken}}});
    // Known before the answer, so that an unbinding meanwhile can close it.
    m_session = PortalRequest::objectPath(m_bus, u"session"_s, sessionToken);
    ask(call, m_timeouts.sessionMs, attempt, "creating a session",
        [this, attempt](uint response, const QVariantMap &results) {
            const QString session = pathOf(results.value(u"session_handle"_s));
            if (response != 0 || session.isEmpty()) {
                qCWarning(lcHotkey) << "the portal refused a global shortcuts session, response" << response;
                setStatus(Status::Refused);
                return;
            }
            m_session = session;
            follow(true);
            bindShortcut(attempt);
        });
}

void PortalHoldKey::bindShortcut(quint64 attempt)
{
    const QList<PortalShortcut> shortcuts{
        {QString::fromLatin1(shortcutId),
         {{u"description"_s, shortcutDescription}, {u"preferred_trigger"_s, m_trigger}}}};
    QDBusMessage call =
        QDBusMessage::createMethodCall(portalService, portalPath, shortcutsInterface, u"BindShortcuts"_s);
    call.setArguments({QVariant::fromValue(QDBusObjectPath(m_session)), QVariant::fromValue(shortcuts),
                       QString(), QVariantMap()});
    ask(call, m_timeouts.bindMs, attempt, "binding the shortcut",
        [this](uint response, const QVariantMap &results) {
            QList<PortalShortcut> bound;
            const QVariant listed = results.value(u"shortcuts"_s);
            if (listed.canConvert<QDBusArgument>())
                bound = qdbus_cast<QList<PortalShortcut>>(listed.value<QDBusArgument>());
            const bool ours = std::ranges::any_of(
                bound, [](const PortalShortcut &s) { return s.id == QLatin1StringView(shortcutId); });
            if (response != 0 || !ours) {
                qCWarning(lcHotkey) << "the portal did not bind the hold-to-talk shortcut, response"
                                    << response;
                setStatus(Status::Refused);
                return;
            }
            const QString trigger = bound.constFirst().options.value(u"trigger_description"_s).toString();
            qCInfo(lcHotkey).noquote()
                << "the portal bound" << m_trigger << "as" << (trigger.isEmpty() ? u"(not said)"_s : trigger);
            setStatus(Status::Bound);
        });
}

void PortalHoldKey::ask(const QDBusMessage &call, int timeoutMs, quint64 attempt, const char *stage,
                        std::function<void(uint, const QVariantMap &)> onAnswer)
{
    m_request = new PortalRequest(m_bus, call, timeoutMs, this);
    connect(m_request, &PortalRequest::failed, this, [this, attempt, stage](const QDBusError &error) {
        if (attempt == m_attempt)
            failWith(error, stage);
    });
    connect(m_request, &PortalRequest::answered, this,
            [this, attempt, onAnswer = std::move(onAnswer)](uint response, const QVariantMap &results) {
                if (attempt != m_attempt)
                    return;
                m_request->deleteLater();
                onAnswer(response, results);
            });
}

void PortalHoldKey::follow(bool on)
{
    if (on == m_following || m_session.isEmpty())
        return;
    m_following = on;
    // The same three signals, connected or disconnected alike.
    using Connect = bool (QDBusConnection::*)(const QString &, const QString &, const QString &,
                                              const QString &, QObject *, const char *);
    const Connect change = on ? static_cast<Connect>(&QDBusConnection::connect)
                              : static_cast<Connect>(&QDBusConnection::disconnect);
    (m_bus.*change)(portalService, portalPath, shortcutsInterface, u"Activated"_s, this,
                    SLOT(onActivated(QDBusMessage)));
    (m_bus.*change)(portalService, portalPath, shortcutsInterface, u"Deactivated"_s, this,
                    SLOT(onDeactivated(QDBusMessage)));
    (m_bus.*change)(portalService, m_session, sessionInterface, u"Closed"_s, this,
                    SLOT(onSessionClosed(QDBusMessage)));
}

void PortalHoldKey::failWith(const QDBusError &error, const char *stage)
{
    qCWarning(lcHotkey).noquote() << "global shortcuts portal:" << stage << "failed:" << error.name()
                                  << error.message();
    if (m_request)
        m_request->deleteLater();
    m_request = nullptr;
    setStatus(isMissing(error) ? Status::Unavailable : Status::Refused);
}

bool PortalHoldKey::isOurSignal(const QDBusMessage &message) const
{
    const QList<QVariant> arguments = message.arguments();
    return status() == Status::Bound && arguments.size() >= 2 && pathOf(arguments.at(0)) == m_session &&
           arguments.at(1).toString() == QLatin1StringView(shortcutId);
}

void PortalHoldKey::onActivated(const QDBusMessage &message)
{
    if (isOurSignal(message))
        notePress();
}

void PortalHoldKey::onDeactivated(const QDBusMessage &message)
{
    if (isOurSignal(message))
        noteRelease();
}

void PortalHoldKey::onSessionClosed(const QDBusMessage &)
{
    qCWarning(lcHotkey) << "the portal closed the global shortcuts session";
    follow(false);
    m_session.clear();
    noteRelease();
    setStatus(Status::Refused);
}
