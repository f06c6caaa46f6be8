#pragma once

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QStringList>
#include <QVariantMap>

// How the scripted portal behaves.
struct PortalScript
{
    bool hasShortcuts = true; // the interface is there at all
    uint version = 1;
    uint sessionResponse = 0; // CreateSession's response code
    uint bindResponse = 0;    // BindShortcuts' response code
    bool answers = true;      // sends Response at all
};

// A scripted desktop portal for the tests: owns org.freedesktop.portal.Desktop
// on the (private) bus at the address, on a connection of its own, and serves
// as much of org.freedesktop.portal.GlobalShortcuts and of its Request and
// Session objects as the hold key uses. It answers through Request.Response
// after the call's reply, as the real portal does, and records what it was
// asked.
class FakePortal : public QDBusVirtualObject
{
    Q_OBJECT

public:
    explicit FakePortal(const QString &address, PortalScript script = {});
    ~FakePortal() override;

    // Takes the portal's name; false if that fails.
    bool start();

    // Signals of the portal, as a desktop sends them when a shortcut goes
    // down or up, and when it ends a session.
    void activate(const QString &session, const QString &shortcut);
    void deactivate(const QString &session, const QString &shortcut);
    void closeSession(const QString &session);

    // What was asked: the sessions made, the shortcuts bound (id ->
    // options) with the session they were bound in, the sessions and
    // requests closed.
    QStringList sessions;
    QString boundSession;
    QMap<QString, QVariantMap> boundShortcuts;
    QStringList closedSessions;
    QStringList closedRequests;
    QVariantMap sessionOptions;

    QString introspect(const QString &path) const override;
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override;

private:
    void respond(const QString &request, uint response, const QVariantMap &results);
    void emitShortcutSignal(const char *name, const QString &session, const QString &shortcut);
    [[nodiscard]] static QString objectPath(const QDBusMessage &call, const QString &kind,
                                            const QString &token);

    QString m_name;
    QDBusConnection m_bus;
    PortalScript m_script;
};
