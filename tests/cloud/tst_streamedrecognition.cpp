// Recognition that streams the recording while it is made: the real client
// and the local service over TLS, the pages fired on the hub as the encoder
// fires them.
#include "cloudfixture.h"

#include "clientstate.h"
#include "encoderpages.h"
#include "messenger.h"
#include "replyscript.h"
#include "serviceswitch.h"
#include "streamedrecognition.h"
#include "tts.h"

#include <QJsonValue>
#include <QTest>

#include <algorithm>

using namespace tolka::cloud;

class StreamedRecognitionTest : public QObject
{
    Q_OBJECT
    CloudFixture fixture;
    MessageWindow window;
    tts client;

    // Fires all but the last page with a pause after each, as speech makes
    // them, then the whole recording.
    void speak(const QByteArray &recording, int pauseMs = 40)
    {
        const QList<QByteArray> pages = pagesOf(recording);
        for (qsizetype i = 0; i + 1 < pages.size(); ++i) {
            messenger::instance()->recordingPages.fire(pages[i]);
            QTest::qWait(pauseMs);
        }
        messenger::instance()->recordingReady.fire(recording);
    }

    [[nodiscard]] QList<LoggedRequest> requests() const
    {
        return const_cast<CloudFixture &>(fixture).service().log().entries();
    }

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(fixture.start(&error), qPrintable(error));
        QVERIFY(streamedRecognitionEnabled());
    }

    void init()
    {
        fixture.reset();
        window.messages.clear();
        setStreamedRecognitionEnabled(true);
        client.setFastTranscribe("en-US");
    }

    void theRecordingArrivesWhileItIsSpokenAndWhole()
    {
        const QByteArray recording = oggOpusRecording(5, 1200);
        speak(recording);
        QTRY_COMPARE(window.count(QStringLiteral("SPEECH")), 1);
        QCOMPARE(window.trace(), QStringList({QStringLiteral("BUSY:true"), QStringLiteral("BUSY:false"),
                                              QStringLiteral("SPEECH")}));
        QCOMPARE(window.last(QStringLiteral("SPEECH")).value<QJsonValue>(),
                 QJsonValue(QStringLiteral("Hello world.")));

        QCOMPARE(requests().size(), 1);
        const LoggedRequest r = requests().constFirst();
        QVERIFY(r.streamed);
        QCOMPARE(r.alpn, QByteArray("http/1.1"));
        QCOMPARE(r.query, QStringLiteral("language=en-US&profanity=raw"));
        QCOMPARE(r.headers.values("transfer-encoding"), (QList<QByteArray>{"chunked"}));
        QVERIFY(!r.headers.contains(QHttpHeaders::WellKnownHeader::ContentLength));
        QCOMPARE(r.keyRole, QStringLiteral("westeurope-primary"));
        // Byte for byte the recording the hub carried at the end.
        QCOMPARE(r.bodyLength, recording.size());
        QCOMPARE(r.bodySha256, sha256Hex(recording));
        QCOMPARE(r.status, 200);
        // It came in pieces over time, and the engine had worked through
        // some of it before the last piece.
        QVERIFY2(r.pieces.size() >= 3, qPrintable(QString::number(r.pieces.size())));
        QVERIFY(r.pieces.constLast().atMs > r.pieces.constFirst().atMs);
        QVERIFY(r.bytesWorkedBeforeEnd > 0);
    }

    void aFailedStreamIsSentWholeWithTheBackupKey()
    {
        fixture.service().script().push(Operation::Recognition, ScriptedReply::withStatus(500));
        const QByteArray recording = oggOpusRecording(6, 600);
        speak(recording);
        QTRY_COMPARE(window.count(QStringLiteral("SPEECH")), 1);
        const QList<LoggedRequest> log = requests();
        QCOMPARE(log.size(), 2);
        QVERIFY(log[0].streamed);
        QCOMPARE(log[0].status, 500);
        QCOMPARE(log[0].keyRole, QStringLiteral("westeurope-primary"));
        QVERIFY(!log[1].streamed);
        QCOMPARE(log[1].alpn, QByteArray("h2"));
        QCOMPARE(log[1].status, 200);
        QCOMPARE(log[1].keyRole, QStringLiteral("westeurope-backup"));
        QCOMPARE(log[1].bodySha256, sha256Hex(recording));
        QCOMPARE(clientState().failureCount, 0);
    }

    void aKeyRefusedAtTheHeadSendsNoAudioThenTheWholeGoesWithTheBackupKey()
    {
        ClientState &s = clientState();
        Credentials wrong = s.credentials;
        wrong.speechKey = "0123456789abcdef0123456789abcdef";
        useService(wrong, QUrl(fixture.service().origin()));
        const QByteArray recording = oggOpusRecording(7, 600);
        speak(recording);
        QTRY_COMPARE(window.count(QStringLiteral("SPEECH")), 1);
        const QList<LoggedRequest> log = requests();
        QCOMPARE(log.size(), 2);
        QVERIFY(log[0].streamed);
        QCOMPARE(log[0].status, 401);
        QCOMPARE(log[0].bodyLength, 0); // refused before any audio left
        QVERIFY(!log[1].streamed);
        QCOMPARE(log[1].status, 200);
        QCOMPARE(log[1].keyRole, QStringLiteral("westeurope-backup"));
    }

    void aRecordingWithoutAudioCancelsItsStream()
    {
        // A press shorter than one frame: the two headers and an empty end.
        const QByteArray recording = oggOpusRecording(8, 0);
        const QList<QByteArray> pages = pagesOf(recording);
        QCOMPARE(pages.size(), 2);
        messenger::instance()->recordingPages.fire(pages[0]);
        QTest::qWait(100); // the stream opens: the service has its head
        messenger::instance()->recordingReady.fire(recording);
        // The streamed request went without a body; the recording went whole
        // as before, and the service said it heard nothing.
        QTRY_COMPARE(requests().size(), 2);
        const QList<LoggedRequest> log = requests();
        const auto streamed = std::ranges::count_if(log, [](const LoggedRequest &r) { return r.streamed; });
        QCOMPARE(streamed, 1);
        for (const LoggedRequest &r : log) {
            if (r.streamed)
                QCOMPARE(r.status, 0);
            else
                QCOMPARE(r.bodySha256, sha256Hex(recording));
        }
    }

    void aNewRecordingReplacesAnUnfinishedOne()
    {
        const QByteArray first = oggOpusRecording(9, 600);
        const QByteArray second = oggOpusRecording(10, 600);
        messenger::instance()->recordingPages.fire(pagesOf(first).constFirst());
        QTest::qWait(50);
        speak(second);
        QTRY_COMPARE(window.count(QStringLiteral("SPEECH")), 1);
        QTRY_COMPARE(requests().size(), 2);
        for (const LoggedRequest &r : requests()) {
            QVERIFY(r.streamed);
            if (r.status == 200)
                QCOMPARE(r.bodySha256, sha256Hex(second));
            else
                QCOMPARE(r.status, 0); // the first one, given up
        }
    }

    void turnedOffTheRecordingGoesWholeOnly()
    {
        setStreamedRecognitionEnabled(false);
        const QByteArray recording = oggOpusRecording(11, 600);
        speak(recording, 5);
        QTRY_COMPARE(window.count(QStringLiteral("SPEECH")), 1);
        QCOMPARE(requests().size(), 1);
        QVERIFY(!requests().constFirst().streamed);
        QCOMPARE(requests().constFirst().bodySha256, sha256Hex(recording));
    }
};

QTEST_MAIN(StreamedRecognitionTest)
#include "tst_streamedrecognition.moc"
