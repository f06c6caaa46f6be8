// The offline engines as a child process: started on a free port with a
// certificate of their own, stopped, restarted after a crash, and a clear
// failure when they cannot run.
#include "localservicerunner.h"

#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QSslConfiguration>
#include <QTest>

#include <csignal>
#include <memory>

using namespace std::chrono_literals;

namespace {

constexpr auto startWait = 40s;

bool alive(qint64 pid)
{
    return pid > 0 && ::kill(pid_t(pid), 0) == 0;
}

} // namespace

class LocalServiceRunnerTest : public QObject
{
    Q_OBJECT

    // GET path on the running service, trusting only its own certificate.
    static int get(const LocalServiceRunner &runner, const QString &path, QByteArray *body = nullptr)
    {
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setCaCertificates(QSslCertificate::fromPath(runner.caFile()));
        QUrl url = runner.origin();
        url.setPath(path);
        QNetworkRequest request(url);
        request.setSslConfiguration(tls);
        QNetworkAccessManager manager;
        std::unique_ptr<QNetworkReply> reply(manager.get(request));
        if (!QTest::qWaitFor([&] { return reply->isFinished(); }, 20000))
            return -1;
        if (body)
            *body = reply->readAll();
        return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    }

private slots:
    void startsAndAnswersThenStops()
    {
        LocalServiceRunner runner(QStringLiteral(TOLKA_LOCALSERVICE));
        QSignalSpy ready(&runner, &LocalServiceRunner::ready);
        runner.start();
        QCOMPARE(runner.state(), LocalServiceRunner::State::Starting);
        // A second start while starting changes nothing.
        runner.start();
        QVERIFY(ready.wait(std::chrono::duration_cast<std::chrono::milliseconds>(startWait).count()));
        QCOMPARE(ready.size(), 1);
        QCOMPARE(runner.state(), LocalServiceRunner::State::Running);
        QCOMPARE(runner.origin().scheme(), QStringLiteral("https"));
        QCOMPARE(runner.origin().host(), QStringLiteral("127.0.0.1"));
        QVERIFY(runner.origin().port() > 0);
        const QString ca = runner.caFile();
        QVERIFY(QFile::exists(ca));

        QByteArray capabilities;
        QCOMPARE(get(runner, QStringLiteral("/tolka/offline"), &capabilities), 200);
        QVERIFY2(capabilities.contains("\"en-US\""), capabilities.constData());

        const qint64 pid = runner.processId();
        QVERIFY(alive(pid));
        runner.stop();
        QCOMPARE(runner.state(), LocalServiceRunner::State::Stopped);
        QTRY_VERIFY(!alive(pid));
        // The run's certificate goes with it.
        QVERIFY(!QFile::exists(ca));
    }

    void aCrashIsReportedAndTheNextStartWorks()
    {
        LocalServiceRunner runner(QStringLiteral(TOLKA_LOCALSERVICE));
        QSignalSpy ready(&runner, &LocalServiceRunner::ready);
        QSignalSpy exited(&runner, &LocalServiceRunner::exited);
        runner.start();
        QVERIFY(ready.wait(std::chrono::duration_cast<std::chrono::milliseconds>(startWait).count()));
        ::kill(pid_t(runner.processId()), SIGKILL);
        QVERIFY(exited.wait(10000));
        QCOMPARE(runner.state(), LocalServiceRunner::State::Stopped);
        QVERIFY(!exited.constFirst().constFirst().toString().isEmpty());

        runner.start();
        QVERIFY(ready.wait(std::chrono::duration_cast<std::chrono::milliseconds>(startWait).count()));
        QCOMPARE(runner.state(), LocalServiceRunner::State::Running);
        QCOMPARE(get(runner, QStringLiteral("/tolka/offline")), 200);
    }

    void failuresSayWhy_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("why");
        QTest::newRow("not installed") << QString() << "not installed";
        QTest::newRow("cannot run") << QStringLiteral("/nonexistent/tolka-localservice") << "cannot run";
        QTest::newRow("ends at once") << QStringLiteral("/bin/false") << "before they started";
    }
    void failuresSayWhy()
    {
        QFETCH(QString, program);
        QFETCH(QString, why);
        LocalServiceRunner runner(program);
        QSignalSpy failed(&runner, &LocalServiceRunner::failed);
        runner.start();
        QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, 10s);
        QCOMPARE(runner.state(), LocalServiceRunner::State::Failed);
        QVERIFY2(runner.failure().contains(why), qPrintable(runner.failure()));
        QCOMPARE(failed.constFirst().constFirst().toString(), runner.failure());
    }

    void theProgramIsFoundFromTheEnvironment()
    {
        qputenv("TOLKA_LOCALSERVICE", TOLKA_LOCALSERVICE);
        QCOMPARE(LocalServiceRunner::findProgram(),
                 QFileInfo(QStringLiteral(TOLKA_LOCALSERVICE)).absoluteFilePath());
        qputenv("TOLKA_LOCALSERVICE", "/nonexistent/tolka-localservice");
        QCOMPARE(LocalServiceRunner::findProgram(), QString());
        qunsetenv("TOLKA_LOCALSERVICE");
    }
};

QTEST_GUILESS_MAIN(LocalServiceRunnerTest)
#include "tst_localservicerunner.moc"
