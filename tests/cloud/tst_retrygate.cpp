// The retry gate shared by all requests: five sends per cycle spaced by a
// growing pause, the warning, fresh connections from the third send on, the
// shared counter and timeouts.
#include "cloudfixture.h"

#include "clientstate.h"
#include "messenger.h"
#include "translation.h"
#include "tts.h"

#include <QJsonValue>
#include <QTest>

#include <chrono>

using namespace tolka::cloud;
using namespace std::chrono_literals;

namespace {
// A cycle of five failures pauses 3 s in all; room for a slow machine.
constexpr auto cycleTimeout = 20s;
// Arrival times are read at millisecond resolution on both sides.
constexpr qint64 clockSlack = 5;
} // namespace

class RetryGateTest : public QObject
{
    Q_OBJECT
    CloudFixture fixture;
    MessageWindow window;
    tts client;

    void scriptFailures(Operation operation, int count, int status = 500)
    {
        for (int i = 0; i < count; ++i)
            fixture.service().script().push(operation, ScriptedReply::withStatus(status));
    }

    QList<quint16> ports(Operation operation) const
    {
        QList<quint16> ports;
        for (const LoggedRequest &r : const_cast<CloudFixture &>(fixture).service().log().entries(operation))
            ports.append(r.clientPort);
        return ports;
    }

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(fixture.start(&error), qPrintable(error));
        client.setFastTranscribe("fr-FR");
        client.setSpeechLanguage("en-US");
    }

    void init()
    {
        fixture.reset();
        window.messages.clear();
    }

    void fiveFailuresThenOneWarningAndNoSixthSend()
    {
        scriptFailures(Operation::Translation, 5);
        client.ttrad("x");
        QTRY_COMPARE_WITH_TIMEOUT(window.count(QStringLiteral("WARNING")), 1, cycleTimeout);
        QCOMPARE(window.last(QStringLiteral("WARNING")), QVariant(false));
        QCOMPARE(window.count(QStringLiteral("TRAD")), 0);
        QCOMPARE(clientState().failureCount, 0);
        QList<LoggedRequest> sends = fixture.service().log().entries();
        QCOMPARE(sends.size(), 5);
        // The first send of the process uses the primary key, every resend the backup one.
        QCOMPARE(sends.at(0).keyRole, QStringLiteral("translator-primary"));
        for (qsizetype i = 1; i < 5; ++i)
            QCOMPARE(sends.at(i).keyRole, QStringLiteral("translator-backup"));
        // A brief outage is ridden out, not hit five times in a burst: the
        // pauses before sends two to five grow (at least 200, 400, 800 and
        // 1600 ms between arrivals; a lower bound only, the machine may be slow).
        QStringList gaps;
        for (qsizetype i = 1; i < 5; ++i) {
            const qint64 gap = sends.at(i - 1).arrival.msecsTo(sends.at(i).arrival);
            const qint64 pause = 200 << (i - 1);
            QVERIFY2(gap >= pause - clockSlack,
                     qPrintable(QStringLiteral("send %1 after %2 ms").arg(i + 1).arg(gap)));
            gaps.append(QString::number(gap));
        }
        qInfo("sends two to five arrived %s ms after the one before", qPrintable(gaps.join(u", ")));
        QCOMPARE(window.count(QStringLiteral("ERROR")), 0);

        // The next user translation is sent (a new cycle) and nothing else of
        // the dropped one follows it.
        client.ttrad("y");
        QTRY_COMPARE(window.count(QStringLiteral("TRAD")), 1);
        sends = fixture.service().log().entries();
        QCOMPARE(sends.size(), 6);
        QCOMPARE(sends.at(5).bodySha256, sha256Hex(translationBody("y", "fr", "en")));
        QCOMPARE(sends.at(5).keyRole, QStringLiteral("translator-backup"));
    }

    void accessCacheIsClearedBeforeSendsThreeFourAndFiveOnly()
    {
        // Warm up so that the cycle starts on an established connection.
        client.ttrad("warm");
        QTRY_COMPARE(window.count(QStringLiteral("TRAD")), 1);
        fixture.reset();
        scriptFailures(Operation::Translation, 5);
        client.ttrad("x");
        QTRY_COMPARE_WITH_TIMEOUT(window.count(QStringLiteral("WARNING")), 1, cycleTimeout);
        const QList<quint16> p = ports(Operation::Translation);
        QCOMPARE(p.size(), 5);
        // Sends one and two share the pooled connection; each later send
        // starts on a connection of its own.
        QCOMPARE(p.at(1), p.at(0));
        QCOMPARE(QSet<quint16>(p.cbegin() + 1, p.cend()).size(), 4);
        for (qsizetype i = 2; i < 5; ++i)
            QVERIFY(fixture.service().connectionPorts().contains(p.at(i)));
    }

    void successOfAnotherServiceRestartsTheCount()
    {
        // Recognition fails three times; its fourth send is held open.
        scriptFailures(Operation::Recognition, 3);
        fixture.service().script().push(Operation::Recognition, ScriptedReply::heldWithStatus(500));
        messenger::instance()->recordingReady.fire(oggOpusRecording(2));
        QTRY_COMPARE_WITH_TIMEOUT(fixture.service().heldCount(), 1, cycleTimeout);
        QCOMPARE(clientState().failureCount, 3);

        // A translation succeeds meanwhile: the shared counter goes back to 0.
        client.ttrad("z");
        QTRY_COMPARE(window.count(QStringLiteral("TRAD")), 1);
        QCOMPARE(clientState().failureCount, 0);
        const quint16 translationPort =
            fixture.service().log().entries(Operation::Translation).constFirst().clientPort;

        // The held send fails: its resend (counter 1) keeps the pooled connection.
        fixture.service().releaseHeld();
        QTRY_COMPARE(window.count(QStringLiteral("SPEECH")), 1);
        const QList<quint16> p = ports(Operation::Recognition);
        QCOMPARE(p.size(), 5);
        QCOMPARE(p.at(4), translationPort);
        QCOMPARE(window.count(QStringLiteral("WARNING")), 0);
        QCOMPARE(clientState().failureCount, 0);
    }

    void aReplySlowerThanTheTransferTimeoutIsAFailure()
    {
        // The one real-time wait of the suite: 5 s transfer timeout.
        fixture.service().script().push(Operation::Translation, ScriptedReply::delayed(5500ms));
        client.ttrad("slow");
        QTRY_COMPARE_WITH_TIMEOUT(window.count(QStringLiteral("TRAD")), 1, 15s);
        // Answered by the resend, not by the late first reply.
        QCOMPARE(fixture.service().log().entries(Operation::Translation).size(), 2);
        QCOMPARE(clientState().failureCount, 0);
    }
};

QTEST_MAIN(RetryGateTest)
#include "tst_retrygate.moc"
