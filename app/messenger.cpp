#include "messenger.h"

#include "applogging.h"

#include <QGuiApplication>
#include <QMutex>
#include <QPointer>
#include <QWindow>

namespace tolka {

QBasicMutex &hubMutex()
{
    // Constant-initialised and never destroyed: it must outlive every static
    // that locks it during process exit.
    static constinit QBasicMutex mutex;
    return mutex;
}

} // namespace tolka

namespace {
// The main window, looked up at the first message and again once it is gone.
QPointer<QWindow> &cachedWindow()
{
    static QPointer<QWindow> window;
    return window;
}
} // namespace

std::shared_ptr<messenger> messenger::instance()
{
    QMutexLocker lock(&tolka::hubMutex());
    static std::shared_ptr<messenger> hub = std::make_shared<messenger>();
    return hub;
}

void messenger::forwardMessage(const QString &tag, const QVariant &value)
{
    QPointer<QWindow> window;
    {
        QMutexLocker lock(&tolka::hubMutex());
        QPointer<QWindow> &cached = cachedWindow();
        if (cached.isNull() && qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
            const QWindowList windows = QGuiApplication::topLevelWindows();
            if (!windows.isEmpty())
                cached = windows.first();
        }
        window = cached;
    }
    // The lock is released before delivery: on the GUI thread the QML handler
    // runs inside this call and may itself reach code that takes the mutex.
    if (window.isNull()) {
        qCDebug(lcApp) << "message dropped, no window:" << tag;
        return;
    }
    QMetaObject::invokeMethod(window.data(), "forwardMessage", Qt::AutoConnection, Q_ARG(QString, tag),
                              Q_ARG(QVariant, value));
}
