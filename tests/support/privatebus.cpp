#include "privatebus.h"

#include <QDeadlineTimer>
#include <QStandardPaths>

namespace {

constexpr int startMs = 10000;
constexpr int stopMs = 3000;

} // namespace

PrivateBus::~PrivateBus()
{
    if (m_daemon.state() == QProcess::NotRunning)
        return;
    m_daemon.terminate();
    if (!m_daemon.waitForFinished(stopMs))
        m_daemon.kill();
    m_daemon.waitForFinished(stopMs);
}

bool PrivateBus::start(const QString &runtimeFolder, const QProcessEnvironment &environment, QString *error)
{
    const QString dbus = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (dbus.isEmpty()) {
        *error = QStringLiteral("dbus-daemon is not installed");
        return false;
    }
    m_daemon.setProcessEnvironment(environment);
    m_daemon.start(dbus, {QStringLiteral("--session"), QStringLiteral("--nofork"),
                          QStringLiteral("--address=unix:dir=") + runtimeFolder,
                          QStringLiteral("--print-address=1")});
    if (!m_daemon.waitForStarted(startMs)) {
        *error = QStringLiteral("dbus-daemon did not start: ") + m_daemon.errorString();
        return false;
    }
    const QDeadlineTimer deadline(startMs);
    while (m_address.isEmpty() && !deadline.hasExpired()) {
        if (m_daemon.canReadLine() || m_daemon.waitForReadyRead(int(deadline.remainingTime())))
            m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    }
    if (m_address.isEmpty()) {
        *error = QStringLiteral("dbus-daemon gave no address");
        return false;
    }
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toUtf8());
    return true;
}
