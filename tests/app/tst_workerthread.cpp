#include "workerthread.h"

#include <QGuiApplication>
#include <QTest>
#include <QThread>

namespace {
// Exposes the number of connections to aboutToQuit.
class CountingApplication : public QGuiApplication
{
public:
    using QGuiApplication::QGuiApplication;
    [[nodiscard]] int aboutToQuitReceivers() const { return receivers(SIGNAL(aboutToQuit())); }
};
} // namespace

class WorkerThreadTest : public QObject
{
    Q_OBJECT
public:
    explicit WorkerThreadTest(CountingApplication *app) : app(app) {}

private slots:
    void sameThreadOnEveryCall()
    {
        const int before = app->aboutToQuitReceivers();
        const auto first = workerThread();
        const auto second = workerThread();
        QVERIFY(first);
        QCOMPARE(first.get(), second.get());
        QVERIFY(first->isRunning());
        QVERIFY(first.get() != QThread::currentThread());
        QCOMPARE(app->aboutToQuitReceivers(), before + 1);
    }

    void restartsAfterQuitWithOneQuitConnection()
    {
        const auto thread = workerThread();
        const int connected = app->aboutToQuitReceivers();
        thread->quit();
        QVERIFY(thread->wait(5000));
        QVERIFY(!thread->isRunning());

        const auto again = workerThread();
        QCOMPARE(again.get(), thread.get());
        QVERIFY(again->isRunning());
        QCOMPARE(app->aboutToQuitReceivers(), connected);

        // Work posted to it runs there.
        QObject probe;
        probe.moveToThread(again.get());
        QThread *ranOn = nullptr;
        QMetaObject::invokeMethod(
            &probe, [&] { ranOn = QThread::currentThread(); }, Qt::BlockingQueuedConnection);
        QCOMPARE(ranOn, again.get());
        QMetaObject::invokeMethod(
            &probe, [&] { probe.moveToThread(app->thread()); }, Qt::BlockingQueuedConnection);
    }

private:
    CountingApplication *app;
};

int main(int argc, char *argv[])
{
    CountingApplication app(argc, argv);
    WorkerThreadTest test(&app);
    return QTest::qExec(&test, argc, argv);
}

#include "tst_workerthread.moc"
