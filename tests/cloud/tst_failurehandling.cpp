// Each class of failure over TLS to the local service: how many sends, how
// far apart, which key, and what the interface is told.
#include "cloudfixture.h"

#include "clientstate.h"
#include "messenger.h"
#include "tts.h"

#include <QJsonValue>
#include <QTest>

#include <chrono>

using namespace Qt::StringLiterals;

using namespace tolka::cloud;
using namespace std::chrono_literals;

namespace {
// Room for a slow machine; the waits themselves are a few seconds at most.
constexpr auto replyWait = 20s;
// Arrival times are read at millisecond resolution on both sides.
constexpr qint64 clockSlack = 5;
} // namespace

class FailureHandlingTest : public QObject
{
    Q_OBJECT
    CloudFixture fixture;
    MessageWindow window;
    tts client;

    QList<LoggedRequest> sends() { return fixture.service().log().entries(); }

    qint64 gap(qsizetype from, qsizetype to)
    {
        const QList<LoggedRequest> s = sends();
        return s.at(from).arrival.msecsTo(s.at(to).arrival);
    }

    QVariantMap lastError() const { return window.last(QStringLiteral("ERROR")).toMap(); }

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(fixture.start(&error), qPrintable(error));
    }

    void init()
    {
        fixture.reset();
        window.messages.clear();
        client.setFastTranscribe("en-US");
        client.setSpeechLanguage("es-ES");
    }

    void throttledWaitsWhatRetryAfterSays()
    {
        fixture.service().script().push(Operation::Translation, ScriptedReply::withRetryAfter(429, "1"));
        client.ttrad("patience");
        QTRY_COMPARE_WITH_TIMEOUT(window.count(QStringLiteral("TRAD")), 1, replyWait);
        QCOMPARE(sends().size(), 2);
        // About a second: not the 200 ms of the growing pause, nor the 10 s cap.
        const qint64 waited = gap(0, 1);
        QVERIFY2(waited >= 1000 - clockSlack && waited < 8000, qPrintable(QString::number(waited)));
        // The user is told of the wait.
        QCOMPARE(window.count(QStringLiteral("ERROR")), 1);
        const QVariantMap told = window.last(QStringLiteral("ERROR")).toMap();
        QCOMPARE(told.value(QStringLiteral("failure")).toString(), QStringLiteral("throttled"));
        QCOMPARE(told.value(QStringLiteral("wait")).toLongLong(), 1000);
        QCOMPARE(clientState().failureCount, 0);
    }

    void retryAfterAsAnHttpDate()
    {
        // Two seconds ahead, to the second: at least one second of waiting.
        const QByteArray date = QDateTime::currentDateTimeUtc()
                                    .addSecs(2)
                                    .toString(Qt::RFC2822Date)
                                    .toLatin1()
                                    .replace("+0000", "GMT");
        fixture.service().script().push(Operation::Recognition, ScriptedReply::withRetryAfter(429, date));
        client.onRecording(oggOpusRecording(1));
        QTRY_COMPARE_WITH_TIMEOUT(window.count(QStringLiteral("SPEECH")), 1, replyWait);
        QCOMPARE(sends().size(), 2);
        const qint64 waited = gap(0, 1);
        QVERIFY2(waited >= 1000 - clockSlack && waited < 8000, qPrintable(QString::number(waited)));
    }

    void throttlingCountsAgainstTheFive()
    {
        // Without Retry-After: the growing pause; the fifth refusal warns.
        for (int i = 0; i < 4; ++i)
            fixture.service().script().push(Operation::Translation, ScriptedReply::withStatus(429));
        fixture.service().script().push(
            Operation::Translation,
            ScriptedReply::withBody(403, R"({"error":{"code":403001,"message":"Out of quota."}})"));
        client.ttrad("busy");
        QTRY_COMPARE_WITH_TIMEOUT(window.count(QStringLiteral("WARNING")), 1, replyWait);
        QCOMPARE(sends().size(), 5);
        for (qsizetype i = 1; i < 5; ++i)
            QVERIFY2(gap(i - 1, i) >= (200 << (i - 1)) - clockSlack,
                     qPrintable(QString::number(gap(i - 1, i))));
        // Four waits told, each longer; then the gate's warning, not a fifth wait.
        QCOMPARE(window.count(QStringLiteral("ERROR")), 4);
        QList<qint64> waits;
        for (const MessageWindow::Message &m : std::as_const(window.messages)) {
            if (m.tag == QLatin1String("ERROR"))
                waits.append(m.value.toMap().value(QStringLiteral("wait")).toLongLong());
        }
        QCOMPARE(waits, (QList<qint64>{200, 400, 800, 1600}));
        QCOMPARE(window.tags().constLast(), QStringLiteral("WARNING"));
        QCOMPARE(window.count(QStringLiteral("TRAD")), 0);
    }

    void aRejectedKeyGetsTheBackupKeyOnceThenStops_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("code");
        QTest::newRow("401") << 401 << QByteArray(R"({"error":{"code":401000,"message":"m"}})") << "401000";
        QTest::newRow("403") << 403 << QByteArray(R"({"error":{"code":403000,"message":"m"}})") << "403000";
    }
    void aRejectedKeyGetsTheBackupKeyOnceThenStops()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, code);
        for (int i = 0; i < 2; ++i)
            fixture.service().script().push(Operation::Translation, ScriptedReply::withBody(status, body));
        client.ttrad("x");
        QTRY_COMPARE(window.count(QStringLiteral("ERROR")), 1);
        const QList<LoggedRequest> s = sends();
        QCOMPARE(s.size(), 2);
        QCOMPARE(s.at(0).keyRole, QStringLiteral("translator-primary"));
        QCOMPARE(s.at(1).keyRole, QStringLiteral("translator-backup"));
        QCOMPARE(lastError().value(QStringLiteral("service")).toString(), QStringLiteral("translation"));
        QCOMPARE(lastError().value(QStringLiteral("failure")).toString(), QStringLiteral("keyRejected"));
        QCOMPARE(lastError().value(QStringLiteral("status")).toInt(), status);
        QCOMPARE(lastError().value(QStringLiteral("code")).toString(), code);
        QCOMPARE(window.count(QStringLiteral("WARNING")), 0);
        // The cycle is over: the next request is not held up by it.
        QCOMPARE(clientState().failureCount, 0);

        // Already on the backup key: one send, then stop.
        fixture.service().log().clear();
        fixture.service().script().push(Operation::Translation, ScriptedReply::withBody(status, body));
        client.ttrad("y");
        QTRY_COMPARE(window.count(QStringLiteral("ERROR")), 2);
        QCOMPARE(sends().size(), 1);
        QCOMPARE(sends().constFirst().keyRole, QStringLiteral("translator-backup"));
    }

    void aRejectedSpeechKeyIsToldToo()
    {
        // The speech services' gateway answers a wrong key in this shape.
        const QByteArray denied =
            R"({"error":{"code":"401","message":"Access denied due to invalid subscription key."}})";
        fixture.service().script().push(Operation::Recognition, ScriptedReply::withBody(401, denied));
        fixture.service().script().push(Operation::Recognition, ScriptedReply::withBody(401, denied));
        client.onRecording(oggOpusRecording(2));
        QTRY_COMPARE(window.count(QStringLiteral("ERROR")), 1);
        QCOMPARE(window.trace(),
                 (QStringList{u"BUSY:true"_s, u"BUSY:false"_s, u"BUSY:true"_s, u"BUSY:false"_s, u"ERROR"_s}));
        QCOMPARE(sends().at(0).keyRole, QStringLiteral("westeurope-primary"));
        QCOMPARE(sends().at(1).keyRole, QStringLiteral("westeurope-backup"));
        QCOMPARE(lastError().value(QStringLiteral("service")).toString(), QStringLiteral("recognition"));
        QCOMPARE(lastError().value(QStringLiteral("code")).toString(), QStringLiteral("401"));
    }

    void aBadRequestIsNotResent_data()
    {
        QTest::addColumn<int>("status");
        QTest::newRow("400") << 400;
        QTest::newRow("413") << 413;
        QTest::newRow("415") << 415;
    }
    void aBadRequestIsNotResent()
    {
        QFETCH(int, status);
        fixture.service().script().push(Operation::Synthesis, ScriptedReply::withStatus(status));
        client.tvoice("x", "es-ES-ElviraNeural");
        QTRY_COMPARE(window.count(QStringLiteral("ERROR")), 1);
        QCOMPARE(sends().size(), 1);
        QCOMPARE(lastError().value(QStringLiteral("service")).toString(), QStringLiteral("synthesis"));
        QCOMPARE(lastError().value(QStringLiteral("failure")).toString(), QStringLiteral("badRequest"));
        QCOMPARE(lastError().value(QStringLiteral("status")).toInt(), status);
        QCOMPARE(clientState().failureCount, 0);
        // Nothing more arrives later either.
        QTest::qWait(300);
        QCOMPARE(sends().size(), 1);
    }

    void aRealRefusalCarriesTheServicesCode()
    {
        // Over 50,000 characters: the translator's own 400050.
        client.ttrad(QByteArray(50001, 'a'));
        QTRY_COMPARE(window.count(QStringLiteral("ERROR")), 1);
        QCOMPARE(sends().size(), 1);
        QCOMPARE(sends().constFirst().status, 400);
        QCOMPARE(lastError().value(QStringLiteral("code")).toString(), QStringLiteral("400050"));
    }

    void nothingRecognisedDoesNotCountAsAFailure()
    {
        // Four failures counted: one more would close the gate.
        clientState().failureCount = 4;
        fixture.service().script().push(Operation::Recognition, ScriptedReply::recognition("BabbleTimeout"));
        client.onRecording(oggOpusRecording(3));
        QTRY_COMPARE(window.count(QStringLiteral("ERROR")), 1);
        QCOMPARE(clientState().failureCount, 0);
        // The next request is admitted, with no warning.
        client.ttrad("next");
        QTRY_COMPARE(window.count(QStringLiteral("TRAD")), 1);
        QCOMPARE(window.count(QStringLiteral("WARNING")), 0);
        QCOMPARE(sends().size(), 2);
    }
};

QTEST_MAIN(FailureHandlingTest)
#include "tst_failurehandling.moc"
