// Tolka and its offline engines stop as when quit on the signals of a
// logout, Ctrl-C or a closed terminal, and the engines never outlive Tolka,
// even when it is killed.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace std::chrono_literals;

namespace {

constexpr auto engineStartWait = 40s;
constexpr auto stopWait = 15s;
constexpr char engineName[] = "tolka-localserv"; // as the kernel shortens it

// Whether a process runs; a zombie has ended, only its parent has yet to
// collect it.
bool alive(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    return pid > 0 && stat.open(QIODevice::ReadOnly) && !stat.readAll().contains(") Z ");
}

// The offline engines among the children of a process, if started.
qint64 enginesOf(qint64 parent)
{
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(parent));
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile children(tasks.filePath(task + QStringLiteral("/children")));
        if (!children.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &child : children.readAll().split(' ')) {
            QFile comm(QStringLiteral("/proc/%1/comm").arg(QString::fromLatin1(child.trimmed())));
            if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == engineName)
                return child.trimmed().toLongLong();
        }
    }
    return 0;
}

} // namespace

class QuitSignalsTest : public QObject
{
    Q_OBJECT
    QTemporaryDir home;

    void startTolka(QProcess &tolka)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("TOLKA_MODE"), QStringLiteral("offline"));
        env.insert(QStringLiteral("TOLKA_LOCALSERVICE"), QStringLiteral(TOLKA_LOCALSERVICE));
        env.insert(QStringLiteral("HOME"), home.path());
        for (const char *folder : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"})
            env.insert(QString::fromLatin1(folder), home.filePath(QString::fromLatin1(folder)));
        // No session bus: the key store gives up at once.
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=/nonexistent"));
        // What is judged here is how the program ends, not what it frees: a
        // quit moments after the engines are up can find Qt's network thread
        // still making the first connection, whose objects LeakSanitizer then
        // reports (about one quit in ten under AddressSanitizer).
        env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
        tolka.setProcessEnvironment(env);
        tolka.start(QStringLiteral(TOLKA_APP));
        QVERIFY2(tolka.waitForStarted(), qPrintable(tolka.errorString()));
    }

private slots:
    void initTestCase() { QVERIFY(home.isValid()); }

    void tolkaStopsWithItsEngines_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<bool>("quits"); // ends as when quit, rather than by the signal
        QTest::newRow("logout (SIGTERM)") << int(SIGTERM) << true;
        QTest::newRow("Ctrl-C (SIGINT)") << int(SIGINT) << true;
        QTest::newRow("terminal closed (SIGHUP)") << int(SIGHUP) << true;
        QTest::newRow("killed (SIGKILL)") << int(SIGKILL) << false;
    }
    void tolkaStopsWithItsEngines()
    {
        QFETCH(int, signal);
        QFETCH(bool, quits);
        QProcess tolka;
        startTolka(tolka);
        // Up and idle: nothing they write then would end them on a closed pipe.
        QByteArray log;
        QTRY_VERIFY_WITH_TIMEOUT(
            (log += tolka.readAllStandardError()).contains("offline engines listening on"), engineStartWait);
        const qint64 engines = enginesOf(tolka.processId());
        QVERIFY(engines > 0);

        ::kill(pid_t(tolka.processId()), signal);
        QVERIFY(tolka.waitForFinished(int(std::chrono::milliseconds(stopWait).count())));
        if (quits) {
            QCOMPARE(tolka.exitStatus(), QProcess::NormalExit);
            QCOMPARE(tolka.exitCode(), 0);
        }
        QTRY_VERIFY_WITH_TIMEOUT(!alive(engines), stopWait);
    }

    // Stopped by Tolka with SIGTERM, the engines end as when quit.
    void theEnginesQuitOnSigterm()
    {
        QProcess engines;
        engines.start(QStringLiteral(TOLKA_LOCALSERVICE), {QStringLiteral("--port"), QStringLiteral("0")});
        QVERIFY(engines.waitForStarted());
        QByteArray output;
        QTRY_VERIFY_WITH_TIMEOUT((output += engines.readAllStandardOutput()).contains("listening on"),
                                 engineStartWait);
        engines.terminate();
        QVERIFY(engines.waitForFinished(int(std::chrono::milliseconds(stopWait).count())));
        QCOMPARE(engines.exitStatus(), QProcess::NormalExit);
        QCOMPARE(engines.exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(QuitSignalsTest)
#include "tst_quitsignals.moc"
