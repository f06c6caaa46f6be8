#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

// A D-Bus session bus of a test's own (dbus-daemon), listening in a given
// runtime folder. start() points the test process at it
// (DBUS_SESSION_BUS_ADDRESS), so start it before anything talks to D-Bus.
class PrivateBus
{
public:
    PrivateBus() = default;
    PrivateBus(const PrivateBus &) = delete;
    PrivateBus &operator=(const PrivateBus &) = delete;
    ~PrivateBus();

    // False, with the reason in error, when dbus-daemon is missing or does
    // not come up. The daemon runs with the given environment.
    bool start(const QString &runtimeFolder, const QProcessEnvironment &environment, QString *error);
    [[nodiscard]] QString address() const { return m_address; }

private:
    QProcess m_daemon;
    QString m_address;
};
