#include "input.h"
#include "messenger.h"
#include "output.h"
#include "startup.h"
#include "tts.h"
#include "workerthread.h"

#include <QGuiApplication>
#include <QProcess>
#include <QQmlApplicationEngine>
#include <QTest>
#include <QWindow>

class StartupTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { tolka::setIdentity(*QCoreApplication::instance()); }

    void windowShownOnlyAfterCompletion()
    {
        QQmlApplicationEngine engine;
        QWindow *window = tolka::loadMainWindow(engine);
        QVERIFY(window);
        QCOMPARE(window->title(), QStringLiteral("Tolka"));
        QVERIFY(!window->isVisible());
        QCOMPARE(window->property("visibleAtCompletion").toBool(), false);
        window->show();
        QVERIFY(window->isVisible());
    }

    void qmlCopiesShareTheProcessWideObjects()
    {
        QQmlApplicationEngine engine;
        QWindow *window = tolka::loadMainWindow(engine);
        QVERIFY(window);
        // init ran on the copies QML holds, in the completion handler.
        const auto recorder = window->property("recorder").value<input>();
        QCOMPARE(recorder.hub().get(), messenger::instance().get());
        QCOMPARE(recorder.worker().get(), workerThread().get());
        QCOMPARE(window->property("player").value<output>().worker().get(), workerThread().get());
        QCOMPARE(window->property("tts").value<tts>().hub().get(), messenger::instance().get());
    }

    void brokenModuleFailsClearly_data()
    {
        QTest::addColumn<QString>("module");
        QTest::addColumn<QString>("expected");
        QTest::newRow("qml error") << "TolkaBroken" << "cannot create the main window: TolkaBroken.Main";
        QTest::newRow("missing module")
            << "TolkaNowhere" << "cannot create the main window: TolkaNowhere.Main";
        QTest::newRow("root not a window") << "TolkaNotWindow" << "TolkaNotWindow.Main is a";
    }

    void brokenModuleFailsClearly()
    {
        QFETCH(QString, module);
        QFETCH(QString, expected);
        QProcess probe;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QML_IMPORT_PATH"), QStringLiteral(TOLKA_TEST_DATA "/qml"));
        probe.setProcessEnvironment(env);
        probe.start(QStringLiteral(TOLKA_PROBE), {QStringLiteral("module"), module, QStringLiteral("Main")});
        QVERIFY(probe.waitForFinished(30000));
        const QString err = QString::fromLocal8Bit(probe.readAllStandardError());
        QCOMPARE(probe.exitStatus(), QProcess::NormalExit);
        QCOMPARE(probe.exitCode(), 1);
        QVERIFY2(err.contains(expected), qPrintable(err));
        QVERIFY2(module != u"TolkaNotWindow" || err.contains(u"not a window"), qPrintable(err));
    }

    void workerThreadEndsCleanlyAtExit()
    {
        QProcess probe;
        probe.start(QStringLiteral(TOLKA_PROBE), {QStringLiteral("worker-exit")});
        QVERIFY(probe.waitForFinished(30000));
        const QString err = QString::fromLocal8Bit(probe.readAllStandardError());
        QCOMPARE(probe.exitStatus(), QProcess::NormalExit);
        QCOMPARE(probe.exitCode(), 0);
        QVERIFY2(!err.contains(QStringLiteral("Destroyed while thread")), qPrintable(err));
    }
};

QTEST_MAIN(StartupTest)
#include "tst_startup.moc"
