#include "firstframegate.h"
#include "startup.h"

#include <QGuiApplication>
#include <QQuickWindow>
#include <QTest>

#include <memory>

class FirstFrameGateTest : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { tolka::openFirstFrameGate(); }

    void openWorkRunsAtOnce()
    {
        QVERIFY(tolka::firstFrameGateOpen());
        int runs = 0;
        tolka::afterFirstFrame(this, [&runs] { ++runs; });
        QCOMPARE(runs, 1);
    }

    void heldWorkRunsOnceWhenOpened()
    {
        tolka::closeFirstFrameGate();
        QVERIFY(!tolka::firstFrameGateOpen());
        int runs = 0;
        tolka::afterFirstFrame(this, [&runs] { ++runs; });
        QCoreApplication::processEvents();
        QCOMPARE(runs, 0);
        tolka::openFirstFrameGate();
        QCOMPARE(runs, 1);
        tolka::closeFirstFrameGate();
        tolka::openFirstFrameGate();
        QCOMPARE(runs, 1);
    }

    void heldWorkIsDroppedWithItsContext()
    {
        tolka::closeFirstFrameGate();
        int runs = 0;
        auto context = std::make_unique<QObject>();
        tolka::afterFirstFrame(context.get(), [&runs] { ++runs; });
        context.reset();
        tolka::openFirstFrameGate();
        QCOMPARE(runs, 0);
    }

    void theGateOpensByItselfAfterItsLimit()
    {
        tolka::closeFirstFrameGate(std::chrono::milliseconds(50));
        int runs = 0;
        tolka::afterFirstFrame(this, [&runs] { ++runs; });
        QTRY_COMPARE_WITH_TIMEOUT(runs, 1, 5000);
        QVERIFY(tolka::firstFrameGateOpen());
    }

    void aWindowsFirstFrameOpensTheGate()
    {
        tolka::closeFirstFrameGate(std::chrono::minutes(1));
        QQuickWindow window;
        window.resize(64, 64);
        tolka::openGateAtFirstFrame(window);
        int runs = 0;
        tolka::afterFirstFrame(this, [&runs] { ++runs; });
        QVERIFY(!tolka::firstFrameGateOpen());
        window.show();
        QTRY_COMPARE_WITH_TIMEOUT(runs, 1, 10000);
    }
};

QTEST_MAIN(FirstFrameGateTest)
#include "tst_firstframegate.moc"
