#include "secretservice.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDeadlineTimer>
#include <QDir>
#include <QStandardPaths>
#include <QThread>

#include <csignal>

namespace {

constexpr int startMs = 10000;

} // namespace

PrivateSecretService::~PrivateSecretService()
{
    if (m_keyringPid > 0)
        ::kill(pid_t(m_keyringPid), SIGTERM);
}

bool PrivateSecretService::start(QString *error)
{
    const QString keyring = QStandardPaths::findExecutable(QStringLiteral("gnome-keyring-daemon"));
    if (keyring.isEmpty()) {
        *error = QStringLiteral("gnome-keyring-daemon is not installed");
        return false;
    }
    if (!m_home.isValid()) {
        *error = QStringLiteral("no temporary home");
        return false;
    }
    const QString runtime = m_home.filePath(QStringLiteral("run"));
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), m_home.path());
    environment.insert(QStringLiteral("XDG_DATA_HOME"), m_home.filePath(QStringLiteral("data")));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);

    if (!m_bus.start(runtime, environment, error))
        return false;
    const QString address = m_bus.address();
    const QDeadlineTimer deadline(startMs);
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);

    // --unlock reads the login keyring's password from its input and
    // creates the keyring; the daemon then forks and stays on the bus.
    QProcess unlock;
    unlock.setProcessEnvironment(environment);
    unlock.start(keyring, {QStringLiteral("--unlock"), QStringLiteral("--components=secrets")});
    if (!unlock.waitForStarted(startMs)) {
        *error = QStringLiteral("gnome-keyring-daemon did not start: ") + unlock.errorString();
        return false;
    }
    unlock.write("tolka-test");
    unlock.closeWriteChannel();
    unlock.waitForFinished(startMs);

    QDBusConnection bus = QDBusConnection::connectToBus(address, QStringLiteral("tolka-test-secrets"));
    while (!deadline.hasExpired()) {
        if (bus.isConnected() &&
            bus.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.secrets"))) {
            m_keyringPid = bus.interface()->servicePid(QStringLiteral("org.freedesktop.secrets")).value();
            QDBusConnection::disconnectFromBus(QStringLiteral("tolka-test-secrets"));
            return true;
        }
        QThread::msleep(50);
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("tolka-test-secrets"));
    *error = QStringLiteral("no Secret Service appeared on the private bus");
    return false;
}
