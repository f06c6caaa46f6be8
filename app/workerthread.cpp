#include "workerthread.h"

#include "messenger.h"

#include <QCoreApplication>
#include <QMutex>
#include <QThread>

namespace {
// Waits for the thread at destruction, so that process exit never destroys a
// thread that is still running.
class JoinedThread final : public QThread
{
public:
    ~JoinedThread() override
    {
        quit();
        wait();
    }
};
} // namespace

std::shared_ptr<QThread> workerThread()
{
    QMutexLocker lock(&tolka::hubMutex());
    static std::shared_ptr<QThread> thread = [] {
        auto made = std::make_shared<JoinedThread>();
        made->setObjectName(QStringLiteral("tolka-worker"));
        return std::shared_ptr<QThread>(std::move(made));
    }();
    if (!thread->isRunning()) {
        if (QCoreApplication *app = QCoreApplication::instance())
            QObject::connect(app, &QCoreApplication::aboutToQuit, thread.get(), &QThread::quit,
                             Qt::UniqueConnection);
        thread->start(QThread::InheritPriority);
    }
    return thread;
}
