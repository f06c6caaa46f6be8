#pragma once

#include "privatebus.h"

#include <QString>
#include <QTemporaryDir>

// A real Secret Service for tests: a D-Bus session bus of its own with
// gnome-keyring's secrets component on it, its keyrings in a temporary home,
// unlocked with a password of the test's. The test process is pointed at the bus
// (DBUS_SESSION_BUS_ADDRESS), so start it before anything talks to D-Bus.
class PrivateSecretService
{
public:
    PrivateSecretService() = default;
    PrivateSecretService(const PrivateSecretService &) = delete;
    PrivateSecretService &operator=(const PrivateSecretService &) = delete;
    ~PrivateSecretService();

    // False, with the reason in error, when dbus-daemon or gnome-keyring is
    // missing or does not come up.
    bool start(QString *error);
    [[nodiscard]] QString home() const { return m_home.path(); }

private:
    QTemporaryDir m_home;
    PrivateBus m_bus;
    qint64 m_keyringPid = 0;
};
