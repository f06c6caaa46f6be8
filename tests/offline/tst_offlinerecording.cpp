// A recording in the form the application's recorder gives (libopus with the
// recorder's settings, pages by its Ogg writer) goes through the cloud
// client to the local service with offline recognition: spoken English
// comes back as "SPEECH" text, silence as no text.
#include "cloudfixture.h"
#include "oggwriter.h"
#include "pocketsphinxrecognition.h"
#include "speechaudio.h"

#include "messenger.h"
#include "tts.h"

#include <opus.h>

#include <QJsonValue>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

constexpr int replyWait = 60000;

// 48 kHz mono PCM to an Ogg Opus stream, 20 ms frames at 24 kbit/s.
QByteArray oggOpus(const std::vector<qint16> &pcm48k)
{
    int error = 0;
    const std::unique_ptr<OpusEncoder, decltype(&opus_encoder_destroy)> opus(
        opus_encoder_create(48000, 1, OPUS_APPLICATION_VOIP, &error), &opus_encoder_destroy);
    if (!opus)
        return {};
    opus_encoder_ctl(opus.get(), OPUS_SET_SIGNAL(OPUS_SIGNAL_VOICE));
    opus_encoder_ctl(opus.get(), OPUS_SET_BITRATE(24000));
    opus_encoder_ctl(opus.get(), OPUS_SET_DTX(1));
    OggWriter writer;
    writer.begin(0x746f6c6b);
    std::vector<qint16> frame(960);
    for (size_t at = 0; at < pcm48k.size(); at += 960) {
        std::ranges::fill(frame, qint16(0));
        std::copy_n(pcm48k.begin() + long(at), std::min<size_t>(960, pcm48k.size() - at), frame.begin());
        unsigned char packet[OggWriter::maxPacketSize];
        const opus_int32 size = opus_encode(opus.get(), frame.data(), 960, packet, OggWriter::maxPacketSize);
        if (size > 0)
            writer.addPacket(packet, int(size));
    }
    writer.finish();
    return writer.takeStream();
}

} // namespace

class OfflineRecordingTest : public QObject
{
    Q_OBJECT
    CloudFixture fixture;
    MessageWindow window;
    tts client;

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(fixture.start(&error), qPrintable(error));
        fixture.service().setRecognitionEngine(std::make_shared<PocketsphinxRecognition>());
        client.setFastTranscribe("en-US");
    }

    void init()
    {
        fixture.reset();
        window.messages.clear();
    }

    void spokenRecordingIsRecognised()
    {
        const QString sentence = QStringLiteral("My friends are happy.");
        const QByteArray recording = oggOpus(speechaudio::spokenEnglish(sentence, 48000));
        QVERIFY(recording.startsWith("OggS"));
        messenger::instance()->recordingReady.fire(recording);
        QTRY_COMPARE_WITH_TIMEOUT(window.count(QStringLiteral("SPEECH")), 1, replyWait);
        const QString text = window.last(QStringLiteral("SPEECH")).value<QJsonValue>().toString();
        const int errors = speechaudio::wordErrors(speechaudio::words(sentence), speechaudio::words(text));
        qInfo("\"%s\" -> \"%s\" (%d errors)", qPrintable(sentence), qPrintable(text), errors);
        QVERIFY2(errors <= 1, qPrintable(text));
        QCOMPARE(fixture.service().log().entries().constFirst().status, 200);
    }

    void silentRecordingHasNoText()
    {
        const QByteArray recording = oggOpus(std::vector<qint16>(48000, 0));
        messenger::instance()->recordingReady.fire(recording);
        QTRY_COMPARE_WITH_TIMEOUT(window.count(QStringLiteral("SPEECH")), 1, replyWait);
        // "NoMatch" carries no DisplayText: the client hands on an undefined value.
        QVERIFY(window.last(QStringLiteral("SPEECH")).value<QJsonValue>().isUndefined());
    }
};

QTEST_MAIN(OfflineRecordingTest)
#include "tst_offlinerecording.moc"
