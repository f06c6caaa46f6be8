#pragma once

#include "holdkey.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QPointer>
#include <QVariantMap>

#include <functional>

class PortalRequest;

// The hold key through the desktop portal's global shortcuts (Wayland): a
// session of org.freedesktop.portal.GlobalShortcuts with one shortcut whose
// preferred trigger is the combination; the portal's Activated and
// Deactivated signals are the press and the release. The portal (or the
// user, in its dialog) has the last word on the trigger. Every call is
// asynchronous and every wait bounded.
class PortalHoldKey final : public HoldKey
{
    Q_OBJECT

public:
    struct Timeouts
    {
        int callMs = 10000;    // each call's reply
        int sessionMs = 10000; // the session's creation
        int bindMs = 120000;   // binding: the portal may ask the user
    };

    explicit PortalHoldKey(const QDBusConnection &bus, Timeouts timeouts, QObject *parent = nullptr);
    explicit PortalHoldKey(QObject *parent = nullptr);
    ~PortalHoldKey() override;

    [[nodiscard]] QString backend() const override;

    // The portal's notation of a combination, e.g. "CTRL+ALT+space"; empty
    // when the key has no name there.
    [[nodiscard]] static QString triggerOf(QKeyCombination key);

    static constexpr auto shortcutId = "hold-to-talk";
    // The portal needs version 1 of the interface.
    static constexpr uint neededVersion = 1;

protected:
    void grab(QKeyCombination key) override;
    void ungrab() override;

private slots:
    void onActivated(const QDBusMessage &message);
    void onDeactivated(const QDBusMessage &message);
    void onSessionClosed(const QDBusMessage &message);

private:
    void checkVersion(quint64 attempt);
    void createSession(quint64 attempt);
    void bindShortcut(quint64 attempt);
    // A request the portal answers through its Response signal: the answer
    // reaches onAnswer only while the attempt is current; a failure of the
    // current attempt ends in failWith(stage).
    void ask(const QDBusMessage &call, int timeoutMs, quint64 attempt, const char *stage,
             std::function<void(uint, const QVariantMap &)> onAnswer);
    void follow(bool on);
    void failWith(const QDBusError &error, const char *stage);
    [[nodiscard]] bool isOurSignal(const QDBusMessage &message) const;

    QDBusConnection m_bus;
    Timeouts m_timeouts;
    // Counts bindings and unbindings: an answer to an earlier one is stale.
    quint64 m_attempt = 0;
    QString m_trigger;
    QString m_session;
    QPointer<PortalRequest> m_request;
    bool m_following = false;
};
