#include "frameprobe.h"

#include <QCoreApplication>
#include <QQuickWindow>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>

namespace tolka {

namespace {

void writeStamp(int frame)
{
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    std::fprintf(stderr, "tolka-frame %d %lld\n", frame,
                 static_cast<long long>(std::chrono::nanoseconds(now).count()));
    std::fflush(stderr);
}

} // namespace

void watchFrames(QQuickWindow &window)
{
    if (!qEnvironmentVariableIsSet("TOLKA_FRAME_PROBE"))
        return;
    const int quitAfter = qEnvironmentVariableIntValue("TOLKA_FRAME_PROBE");
    auto count = std::make_shared<std::atomic<int>>(0);
    // Direct: the render thread (where there is one) stamps the frame when it
    // is swapped, not when the event loop gets round to it.
    QObject::connect(
        &window, &QQuickWindow::frameSwapped, &window,
        [count, quitAfter] {
            const int frame = ++*count;
            writeStamp(frame);
            if (frame != 1 || quitAfter <= 0)
                return;
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [quitAfter] {
                    QTimer::singleShot(quitAfter, QCoreApplication::instance(), &QCoreApplication::quit);
                },
                Qt::QueuedConnection);
        },
        Qt::DirectConnection);
    writeStamp(0);
}

} // namespace tolka
