// The service account against the local service over TLS: the user's keys
// and regions in use at once, the check of each service, keys kept out of
// the settings and the logs, and the offline engines started, used, survived
// after a crash and stopped.
#include "cloudfixture.h"

#include "clientstate.h"
#include "cloudconfig.h"
#include "localservicerunner.h"
#include "serviceaccount.h"
#include "serviceswitch.h"
#include "sessionkeystore.h"
#include "tts.h"

#include <QFile>
#include <QJsonValue>
#include <QLoggingCategory>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace tolka::cloud;
using namespace std::chrono_literals;

namespace {

const QByteArray userTranslatorKey = "UserTranslatorKey00000000000000000000000000000000ab12";
const QByteArray userSpeechKey = "userspeechkey000000000000000cd34";
constexpr auto offlineWait = 60s;

// A credential store that cannot be reached.
class BrokenKeyStore final : public KeyStore
{
public:
    void read(const QString &, ReadDone done) override
    {
        done(std::nullopt, QStringLiteral("no store here"));
    }
    void write(const QString &, const QByteArray &, WriteDone done) override
    {
        done(QStringLiteral("no store here"));
    }
    [[nodiscard]] bool isSecure() const override { return true; }
};

QStringList &capturedLog()
{
    static QStringList lines;
    return lines;
}

void captureMessage(QtMsgType, const QMessageLogContext &, const QString &message)
{
    capturedLog().append(message);
}

} // namespace

class ServiceAccountTest : public QObject
{
    Q_OBJECT
    QTemporaryDir settingsHome;
    CloudFixture fixture;
    MessageWindow window;
    tts client;
    std::unique_ptr<ServiceAccount> account;

    QVariantMap lastState() const { return window.last(QStringLiteral("SERVICE")).toMap(); }

    QVariantMap check()
    {
        const qsizetype before = window.count(QStringLiteral("ACCOUNTCHECK"));
        account->check();
        if (!QTest::qWaitFor([&] { return window.count(QStringLiteral("ACCOUNTCHECK")) > before; }, 30000))
            return {};
        return window.last(QStringLiteral("ACCOUNTCHECK")).toMap();
    }

    static QString result(const QVariantMap &check, const char *service)
    {
        return check.value(QLatin1String(service)).toMap().value(QStringLiteral("result")).toString();
    }

    QByteArray settingsFile() const
    {
        QFile file(QSettings().fileName());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private slots:
    void initTestCase()
    {
        qputenv("XDG_CONFIG_HOME", settingsHome.path().toLocal8Bit());
        QCoreApplication::setOrganizationName(QStringLiteral("Arvendel"));
        QCoreApplication::setApplicationName(QStringLiteral("Tolka#"));
        QString error;
        QVERIFY2(fixture.start(&error), qPrintable(error));
        KeyRing keys = KeyRing::buildKeys();
        keys.translator.insert(userTranslatorKey, QStringLiteral("user-translator"));
        keys.speech.insert(userSpeechKey, QStringLiteral("user-speech"));
        fixture.service().setKeys(keys);
        account = std::make_unique<ServiceAccount>(std::make_unique<SessionKeyStore>(),
                                                   QStringLiteral(TOLKA_LOCALSERVICE));
        account->load();
        client.setFastTranscribe("en-US");
        client.setSpeechLanguage("es-ES");
    }

    void init()
    {
        fixture.reset();
        window.messages.clear();
    }

    void cleanupTestCase() { account.reset(); }

    void theDefaultIsOfflineOnlyWithoutAnyAccount()
    {
        // A development origin names a service: the cloud path goes there.
        QCOMPARE(account->mode(), QStringLiteral("cloud"));
        const QByteArray origin = qgetenv("TOLKA_CLOUD_ORIGIN");
        qunsetenv("TOLKA_CLOUD_ORIGIN");
        // This build has no keys of its own, and no key was given.
        QCOMPARE(account->mode(), QStringLiteral("offline"));
        qputenv("TOLKA_MODE", "cloud");
        QCOMPARE(account->mode(), QStringLiteral("cloud"));
        qunsetenv("TOLKA_MODE");
        qputenv("TOLKA_CLOUD_ORIGIN", origin);
    }

    void ownKeysAndRegionsAreUsedAtOnce()
    {
        QVERIFY(!account->hasOwnKeys());
        account->setKey(QStringLiteral("translator"), " " + userTranslatorKey + "\n");
        account->setTranslatorRegion(QStringLiteral(" WestEurope "));
        account->setKey(QStringLiteral("speech"), userSpeechKey);
        account->setSpeechRegion(QStringLiteral("northeurope"));
        QVERIFY(account->hasOwnKeys());
        fixture.service().setTranslatorRegion(QStringLiteral("westeurope"));
        client.ttrad("hello");
        QTRY_COMPARE(window.count(QStringLiteral("TRAD")), 1);
        const LoggedRequest sent = fixture.service().log().entries().constFirst();
        QCOMPARE(sent.keyRole, QStringLiteral("user-translator"));
        QCOMPARE(sent.headers.values("ocp-apim-subscription-region"), QList<QByteArray>{"westeurope"});
        // The speech region names the hosts (here all at the local origin).
        QCOMPARE(currentCredentials().speechRegion, QStringLiteral("northeurope"));
        client.tvoice("hola", "es-ES-ElviraNeural");
        QTRY_COMPARE(fixture.service().log().entries(Operation::Synthesis).size(), 1);
        QCOMPARE(fixture.service().log().entries(Operation::Synthesis).constFirst().keyRole,
                 QStringLiteral("user-speech"));
        // Only the last four characters ever reach the interface.
        const QVariantMap keys = lastState().value(QStringLiteral("keys")).toMap();
        QCOMPARE(keys.value(QStringLiteral("translator")).toString(), QStringLiteral("ab12"));
        QCOMPARE(keys.value(QStringLiteral("speech")).toString(), QStringLiteral("cd34"));
        QCOMPARE(keys.value(QStringLiteral("speechBackup")).toString(), QString());
        fixture.service().setTranslatorRegion({});
    }

    void checkTellsWhatWorks()
    {
        QVariantMap c = check();
        QCOMPARE(result(c, "speech"), QStringLiteral("working"));
        // The translator resource is global: a region header is harmless.
        QCOMPARE(result(c, "translation"), QStringLiteral("working"));

        // A regional resource in another region than the one given.
        fixture.service().setTranslatorRegion(QStringLiteral("uksouth"));
        c = check();
        QCOMPARE(result(c, "translation"), QStringLiteral("wrongRegion"));
        QCOMPARE(c.value(QStringLiteral("translation")).toMap().value(QStringLiteral("region")).toString(),
                 QStringLiteral("uksouth"));
        fixture.service().setTranslatorRegion({});

        // A key the services do not know.
        account->setKey(QStringLiteral("translator"), "0000000000000000000000000000dead");
        account->setKey(QStringLiteral("speech"), "1111111111111111111111111111beef");
        c = check();
        QCOMPARE(result(c, "translation"), QStringLiteral("keyRejected"));
        QCOMPARE(c.value(QStringLiteral("translation")).toMap().value(QStringLiteral("code")).toString(),
                 QStringLiteral("401000"));
        QCOMPARE(result(c, "speech"), QStringLiteral("keyRejected"));

        // Nothing listening there.
        const QByteArray origin = qgetenv("TOLKA_CLOUD_ORIGIN");
        qputenv("TOLKA_CLOUD_ORIGIN", "https://127.0.0.1:1");
        c = check();
        qputenv("TOLKA_CLOUD_ORIGIN", origin);
        QCOMPARE(result(c, "translation"), QStringLiteral("noNetwork"));
        QCOMPARE(result(c, "speech"), QStringLiteral("noNetwork"));

        // Throttled: the quota is used up.
        account->setKey(QStringLiteral("translator"), userTranslatorKey);
        fixture.service().script().push(Operation::Translation, ScriptedReply::withRetryAfter(429, "30"));
        c = check();
        QCOMPARE(result(c, "translation"), QStringLiteral("quotaUsedUp"));
        account->setKey(QStringLiteral("speech"), userSpeechKey);
    }

    void keysStayOutOfTheSettingsAndTheLogs()
    {
        QLoggingCategory::setFilterRules(QStringLiteral("tolka.*.debug=true"));
        capturedLog().clear();
        const QtMessageHandler previous = qInstallMessageHandler(captureMessage);
        account->setKey(QStringLiteral("translatorBackup"), "BackupKeyThatMustNotLeak0000000099");
        fixture.service().script().push(Operation::Translation, ScriptedReply::withStatus(401));
        client.ttrad("x");
        QTRY_COMPARE(window.count(QStringLiteral("TRAD")) + window.count(QStringLiteral("ERROR")), 1);
        check();
        qInstallMessageHandler(previous);
        QLoggingCategory::setFilterRules(QString());

        QSettings().sync();
        const QByteArray settings = settingsFile();
        QVERIFY(!settings.isEmpty());
        QVERIFY(settings.contains("westeurope") || settings.contains("northeurope"));
        for (const QByteArray &key :
             {userTranslatorKey, userSpeechKey, QByteArray("BackupKeyThatMustNotLeak")}) {
            QVERIFY2(!settings.contains(key), settings.constData());
            for (const QString &line : capturedLog())
                QVERIFY2(!line.contains(QString::fromLatin1(key)), qPrintable(line));
        }
        QVERIFY(capturedLog().size() > 3);
        // Held for this run only: the interface says so.
        QCOMPARE(lastState().value(QStringLiteral("secure")).toBool(), false);
    }

    void aStoreThatFailsKeepsKeysForTheRun()
    {
        ServiceAccount other(std::make_unique<BrokenKeyStore>(), QString());
        QSettings().setValue(QStringLiteral("account/stored/speech"), true);
        other.load();
        QSettings().remove(QStringLiteral("account/stored/speech"));
        QCOMPARE(other.state().value(QStringLiteral("secure")).toBool(), false);
        QCOMPARE(other.state().value(QStringLiteral("storeError")).toString(),
                 QStringLiteral("no store here"));
        other.setKey(QStringLiteral("speech"), userSpeechKey);
        QVERIFY(other.hasOwnKeys());
        QCOMPARE(other.cloudCredentials().speechKey, userSpeechKey);
        // The account in use is the one of this test.
        account->setMode(QStringLiteral("cloud"));
    }

    void offlineEnginesStartTranslateSurviveACrashAndStop()
    {
        account->setMode(QStringLiteral("offline"));
        QTRY_COMPARE_WITH_TIMEOUT(lastState().value(QStringLiteral("state")).toString(),
                                  QStringLiteral("ready"), offlineWait);
        QTRY_VERIFY(!lastState().value(QStringLiteral("capabilities")).toMap().isEmpty());
        // The client now talks to the child, not to the fixture.
        QVERIFY(currentOrigin().has_value());
        QCOMPARE(*currentOrigin(), account->runner().origin());
        // The user's keys never go to it.
        QCOMPARE(currentCredentials().translatorKey, QByteArray(tolka::cloud::config::translatorKey));

        client.ttrad("The house is big.");
        QTRY_COMPARE_WITH_TIMEOUT(window.count(QStringLiteral("TRAD")), 1, offlineWait);
        QCOMPARE(window.last(QStringLiteral("TRAD")).value<QJsonValue>(),
                 QJsonValue(QStringLiteral("La casa es grande.")));
        QVERIFY(fixture.service().log().entries().isEmpty());

        // What is missing offline for a pair is known.
        QCOMPARE(account->offlineGaps("en-US", "es-ES"), QStringList());
        QCOMPARE(account->offlineGaps("ja-JP", "es-ES"),
                 (QStringList{QStringLiteral("recognition"), QStringLiteral("translation")}));

        // The engines crash; the next request starts them again and is answered.
        const qint64 pid = account->runner().processId();
        ::kill(pid_t(pid), SIGKILL);
        QTRY_COMPARE(account->runner().state(), LocalServiceRunner::State::Stopped);
        client.ttrad("My friends are happy.");
        QTRY_COMPARE_WITH_TIMEOUT(window.count(QStringLiteral("TRAD")), 2, offlineWait);
        QCOMPARE(window.last(QStringLiteral("TRAD")).value<QJsonValue>(),
                 QJsonValue(QStringLiteral("Mis amigos son felices.")));
        QVERIFY(account->runner().processId() != pid);

        // Back to the cloud: the engines stop, the fixture answers again.
        const qint64 running = account->runner().processId();
        account->setMode(QStringLiteral("cloud"));
        QVERIFY(::kill(pid_t(running), 0) != 0 ||
                QTest::qWaitFor([&] { return ::kill(pid_t(running), 0) != 0; }));
        QCOMPARE(lastState().value(QStringLiteral("mode")).toString(), QStringLiteral("cloud"));
        client.ttrad("cloud again");
        QTRY_COMPARE(window.count(QStringLiteral("TRAD")), 3);
        QCOMPARE(fixture.service().log().entries().size(), 1);
    }

    void offlineEnginesThatCannotStartAreTold()
    {
        ServiceAccount broken(std::make_unique<SessionKeyStore>(),
                              QStringLiteral("/nonexistent/tolka-localservice"));
        broken.setMode(QStringLiteral("offline"));
        broken.load();
        QTRY_COMPARE(window.last(QStringLiteral("SERVICE")).toMap().value(QStringLiteral("state")).toString(),
                     QStringLiteral("failed"));
        QVERIFY(!window.last(QStringLiteral("SERVICE"))
                     .toMap()
                     .value(QStringLiteral("failure"))
                     .toString()
                     .isEmpty());
        // A request meanwhile is dropped, not sent to the cloud.
        client.ttrad("nowhere");
        QTest::qWait(200);
        QCOMPARE(fixture.service().log().entries().size(), 0);
        broken.setMode(QStringLiteral("cloud"));
        account->setMode(QStringLiteral("cloud"));
    }
};

QTEST_MAIN(ServiceAccountTest)
#include "tst_serviceaccount.moc"
