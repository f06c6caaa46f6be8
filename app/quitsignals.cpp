#include "quitsignals.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#ifdef Q_OS_UNIX
#include <QSocketNotifier>

#include <array>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace tolka {

namespace {

Q_LOGGING_CATEGORY(lcQuit, "tolka.app.quit", QtInfoMsg)

#ifdef Q_OS_UNIX
constexpr std::array handledSignals{SIGTERM, SIGINT, SIGHUP};

// The handler may only write to a descriptor; the event loop reads it.
int signalPipe[2] = {-1, -1};

void onSignal(int number)
{
    const auto byte = static_cast<unsigned char>(number);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}
#endif

} // namespace

void quitOnTerminationSignals()
{
#ifdef Q_OS_UNIX
    if (signalPipe[0] >= 0)
        return;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, signalPipe) != 0) {
        qCWarning(lcQuit) << "no channel for termination signals: they end the program at once";
        return;
    }
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
        unsigned char byte = 0;
        while (::read(signalPipe[0], &byte, 1) == 1)
            qCInfo(lcQuit) << "stopping on signal" << int(byte);
        QCoreApplication::quit();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : handledSignals)
        ::sigaction(number, &action, nullptr);
#endif
}

} // namespace tolka
