#include "opuspackets.h"
#include "playbackstate.h"
#include "speechdecoder.h"
#include "speechstream.h"

#include <QTest>

#include <cstring>

class SpeechDecoderTest : public QObject
{
    Q_OBJECT
private slots:
    void init() { playbackState::instance().reset(); }

    void packetsAreSixtyBytesOfTwentyMilliseconds()
    {
        const QByteArray reply = testdata::opusPackets(10);
        QCOMPARE(reply.size(), 600);
    }

    void tenPacketsGiveTwoHundredMilliseconds()
    {
        decodeSpeech(testdata::opusPackets(10));
        const QByteArray speech = playbackState::instance().speech();
        QCOMPARE(speech.size(), 19200);
        // Real audio, not silence: the tone comes through the codec.
        const auto samples = testdata::samplesOf(speech);
        int loud = 0;
        for (qint16 s : samples)
            loud += std::abs(s) > 2000;
        QVERIFY2(loud > 1000, qPrintable(QString::number(loud)));
    }

    void trailingPartialPacketIsIgnored()
    {
        const QByteArray whole = testdata::opusPackets(10);
        decodeSpeech(whole);
        const QByteArray expected = playbackState::instance().speech();
        decodeSpeech(whole + testdata::opusPackets(1).left(59));
        QCOMPARE(playbackState::instance().speech().size(), 19200);
        QCOMPARE(playbackState::instance().speech(), expected);
    }

    void shorterThanOnePacketGivesEmptySpeech()
    {
        decodeSpeech(testdata::opusPackets(10));
        decodeSpeech(testdata::opusPackets(1).left(59));
        QVERIFY(playbackState::instance().speech().isEmpty());
    }

    void emptyReplyKeepsThePreviousSpeech()
    {
        decodeSpeech(testdata::opusPackets(10));
        const QByteArray before = playbackState::instance().speech();
        QVERIFY(!before.isEmpty());
        decodeSpeech(QByteArray());
        QCOMPARE(playbackState::instance().speech(), before);
        QVERIFY(!decodeOpusPackets(QByteArray()).has_value());
    }

    // Cut anywhere, fed piece by piece and decoded a few packets at a time,
    // a reply gives the samples of the reply decoded whole.
    void aStreamCutAnywhereDecodesAsTheWholeReply()
    {
        const QByteArray reply = testdata::opusPackets(40);
        const std::optional<QByteArray> whole = decodeOpusPackets(reply);
        QVERIFY(whole);
        SpeechStream stream;
        QVERIFY(stream.isValid());
        QByteArray pcm;
        qsizetype at = 0;
        for (const qsizetype size : {1, 59, 61, 60 * 20 - 1, 7, 113}) {
            stream.feed(QByteArrayView(reply).sliced(at, size));
            at += size;
            QCOMPARE(stream.wholePackets() + pcm.size() / 1920, at / 60);
            QCOMPARE(stream.partialBytes(), at % 60);
            pcm += stream.decode(3);
        }
        stream.feed(QByteArrayView(reply).sliced(at));
        while (stream.wholePackets() > 0)
            pcm += stream.decode(7);
        QCOMPARE(stream.partialBytes(), 0);
        QCOMPARE(stream.skippedPackets(), 0);
        QCOMPARE(pcm.size(), 40 * 1920);
        QCOMPARE(pcm, *whole);
        QVERIFY(stream.decode(5).isEmpty());
    }

    void corruptedPacketIsSkippedWithoutAGap()
    {
        const QByteArray good = testdata::opusPackets(10);
        QByteArray damaged = good;
        damaged.replace(5 * testdata::packetBytes, testdata::packetBytes, testdata::invalidPacket());
        QCOMPARE(damaged.size(), good.size());

        const std::optional<QByteArray> clean = decodeOpusPackets(good);
        const std::optional<QByteArray> skipped = decodeOpusPackets(damaged);
        QVERIFY(clean && skipped);
        // Nine packets' worth, no silence where the bad one was.
        QCOMPARE(skipped->size(), 9 * 960 * 2);
        QCOMPARE(skipped->left(5 * 1920), clean->left(5 * 1920));
        const auto samples = testdata::samplesOf(skipped->mid(5 * 1920, 1920));
        int loud = 0;
        for (qint16 s : samples)
            loud += std::abs(s) > 2000;
        QVERIFY(loud > 100);
    }

    void fortyMillisecondPacketFitsAtTheEnd()
    {
        // A legal 60-byte packet holding 40 ms of audio decodes to the full
        // 1920-sample limit; as the last packet it must not overrun.
        int error = OPUS_OK;
        OpusEncoder *encoder = opus_encoder_create(24000, 1, OPUS_APPLICATION_VOIP, &error);
        QVERIFY(encoder);
        opus_encoder_ctl(encoder, OPUS_SET_BITRATE(12000));
        opus_encoder_ctl(encoder, OPUS_SET_VBR(0));
        std::vector<opus_int16> frame(960, 1000);
        unsigned char packet[60];
        const opus_int32 bytes = opus_encode(encoder, frame.data(), 960, packet, sizeof packet);
        opus_encoder_destroy(encoder);
        QCOMPARE(bytes, 60);
        const QByteArray reply =
            testdata::opusPackets(2) + QByteArray(reinterpret_cast<const char *>(packet), 60);
        const std::optional<QByteArray> pcm = decodeOpusPackets(reply);
        QVERIFY(pcm);
        QCOMPARE(pcm->size(), (960 + 960 + 1920) * 2);
    }
};

QTEST_GUILESS_MAIN(SpeechDecoderTest)
#include "tst_speechdecoder.moc"
