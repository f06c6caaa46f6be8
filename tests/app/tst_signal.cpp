#include "tolkasignal.h"

#include <QByteArray>
#include <QSemaphore>
#include <QTest>
#include <QThread>

#include <atomic>
#include <memory>

namespace {

// A receiver that is not a QObject: delivered on the thread that connected it.
struct PlainReceiver
{
    QList<QByteArray> received;
    QList<QThread *> threads;
    void byValue(QByteArray data)
    {
        received.append(data);
        threads.append(QThread::currentThread());
    }
};

class Receiver : public QObject
{
public:
    QByteArray last;
    QThread *thread = nullptr;
    int calls = 0;
    QSemaphore done;
    void byConstRef(const QByteArray &data)
    {
        last = data;
        thread = QThread::currentThread();
        ++calls;
        done.release();
    }
};

class CountingReceiver : public QObject
{
public:
    explicit CountingReceiver(std::atomic<int> *hits) : hits(hits) {}
    void hit(const QByteArray &) { ++*hits; }
    std::atomic<int> *hits;
};

} // namespace

class SignalTest : public QObject
{
    Q_OBJECT
private slots:
    void idsAscendWithParallelSlots()
    {
        tolka::signal<QByteArray> sig;
        QCOMPARE(sig.lastId(), 0u);
        PlainReceiver a, b, c;
        QCOMPARE(sig.connect(&a, &PlainReceiver::byValue).id, 1u);
        QCOMPARE(sig.connect(&b, &PlainReceiver::byValue).id, 2u);
        QCOMPARE(sig.connect(&c, &PlainReceiver::byValue).id, 3u);
        QCOMPARE(sig.ids(), (std::vector<std::uint64_t>{1, 2, 3}));
        QCOMPARE(sig.size(), 3u);

        // Slots stay parallel to the ids: firing reaches them in that order.
        QList<int> order;
        struct Tagged
        {
            QList<int> *order;
            int tag;
            void hit(QByteArray) { order->append(tag); }
        };
        tolka::signal<QByteArray> ordered;
        Tagged t1{&order, 1}, t2{&order, 2}, t3{&order, 3};
        ordered.connect(&t1, &Tagged::hit);
        ordered.connect(&t2, &Tagged::hit);
        ordered.connect(&t3, &Tagged::hit);
        ordered.fire(QByteArray("x"));
        QCOMPARE(order, (QList<int>{1, 2, 3}));
    }

    void fireWithoutSlotsDoesNothing()
    {
        tolka::signal<QByteArray> sig;
        sig.fire(QByteArray("nobody listens"));
        QCOMPARE(sig.size(), 0u);
    }

    void sameThreadDeliveryRunsInsideFire()
    {
        tolka::signal<QByteArray> sig;
        PlainReceiver plain;
        Receiver object;
        sig.connect(&plain, &PlainReceiver::byValue);
        sig.connect(&object, &Receiver::byConstRef);
        sig.fire(QByteArray("now"));
        QCOMPARE(plain.received, QList<QByteArray>{QByteArray("now")});
        QCOMPARE(plain.threads.constFirst(), QThread::currentThread());
        QCOMPARE(object.calls, 1);
        QCOMPARE(object.last, QByteArray("now"));
    }

    void otherThreadContextRunsThereAfterFireWithSharedBytes()
    {
        QThread worker;
        worker.start();
        auto receiver = std::make_unique<Receiver>();
        receiver->moveToThread(&worker);

        tolka::signal<QByteArray> sig;
        sig.connect(receiver.get(), &Receiver::byConstRef);

        // Hold the worker inside a queued call so that the slot cannot run
        // before fire has returned.
        QSemaphore release;
        QSemaphore holding;
        QMetaObject::invokeMethod(receiver.get(), [&] {
            holding.release();
            release.acquire();
        });
        holding.acquire();

        const QByteArray payload(1 << 20, 'p');
        sig.fire(payload);
        QCOMPARE(receiver->calls, 0);
        release.release();

        QVERIFY(receiver->done.tryAcquire(1, 5000));
        QCOMPARE(receiver->thread, &worker);
        QCOMPARE(receiver->last, payload);
        // Shared, not copied byte by byte.
        QCOMPARE(receiver->last.constData(), payload.constData());

        QMetaObject::invokeMethod(receiver.get(), [&] { receiver.reset(); }, Qt::BlockingQueuedConnection);
        worker.quit();
        worker.wait();
    }

    void destroyedContextIsSkipped()
    {
        tolka::signal<QByteArray> sig;
        PlainReceiver survivor;
        auto *doomed = new Receiver;
        sig.connect(doomed, &Receiver::byConstRef);
        sig.connect(&survivor, &PlainReceiver::byValue);
        delete doomed;
        // Would touch freed memory if the dead slot were called directly.
        sig.fire(QByteArray("after"));
        QCOMPARE(survivor.received.size(), 1);
        QCOMPARE(sig.size(), 2u);
    }

    void queuedCallToContextDestroyedBeforeDeliveryIsDropped()
    {
        QThread worker;
        worker.start();
        std::atomic<int> hits = 0;
        auto *receiver = new CountingReceiver(&hits);
        receiver->moveToThread(&worker);
        tolka::signal<QByteArray> sig;
        sig.connect(receiver, &CountingReceiver::hit);

        QSemaphore release;
        QSemaphore holding;
        QMetaObject::invokeMethod(receiver, [&] {
            holding.release();
            release.acquire();
            // Destroyed on its own thread while the fired call is queued.
            delete receiver;
        });
        holding.acquire();
        sig.fire(QByteArray("late"));
        release.release();
        worker.quit();
        QVERIFY(worker.wait(5000));
        QCOMPARE(hits.load(), 0);
    }
};

QTEST_GUILESS_MAIN(SignalTest)
#include "tst_signal.moc"
