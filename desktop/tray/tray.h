#pragma once

#include <QMetaType>
#include <QObject>
#include <QString>
#include <QVariantMap>

// The notification-area icon for QML, handed over as "tray". A gadget
// without data members: every copy drives the one process-wide icon, made
// at the first show(). The icon's menu reports back to the window through
// message "TRAYCONVERSATION" (the switch's new state); quit ends the
// application.
class tray
{
    Q_GADGET

public:
    constexpr tray() = default;

    // Whether the desktop has a notification area Tolka can use.
    [[nodiscard]] Q_INVOKABLE bool available() const;
    // Puts the icon for the window in the tray, with the menu's words (keys
    // "show", "hide", "conversation", "quit", "idle", "recording",
    // "speaking"); again, it only takes the new words. False without a tray.
    Q_INVOKABLE bool show(QObject *window, const QVariantMap &texts) const;
    // Takes the icon out of the tray.
    Q_INVOKABLE void remove() const;
    // "idle", "recording" or "speaking"; anything else is idle.
    Q_INVOKABLE void setActivity(const QString &activity) const;
    Q_INVOKABLE void setConversation(bool on) const;
    // Whether the icon is in the tray now.
    [[nodiscard]] Q_INVOKABLE bool shown() const;
};

Q_DECLARE_METATYPE(tray)
