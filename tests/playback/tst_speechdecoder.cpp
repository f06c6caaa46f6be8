#include "opuspackets.h"
#include "playbackstate.h"
#include "speechdecoder.h"
#include "speechstream.h"

#include <QRandomGenerator>
#include <QTest>

#include <cstring>

namespace {
// `count` real packets, those at `bad` replaced by one no decoder accepts.
QByteArray withBadPackets(int count, const QList<int> &bad)
{
    QByteArray reply = testdata::opusPackets(count);
    for (const int index : bad)
        reply.replace(index * testdata::packetBytes, testdata::packetBytes, testdata::invalidPacket());
    return reply;
}

QList<int> everyThird(int count)
{
    QList<int> bad;
    for (int i = 2; i < count; i += 3)
        bad << i;
    return bad;
}

QList<int> everyIndex(int count)
{
    QList<int> all;
    for (int i = 0; i < count; ++i)
        all << i;
    return all;
}

QByteArray randomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(20261209);
    generator.fillRange(reinterpret_cast<quint32 *>(bytes.data()), size / 4);
    return bytes;
}
} // namespace

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

    // Bytes that are mostly not Opus are refused, whether the reply comes
    // whole or in pieces decoded as they come; a rare bad packet is skipped
    // and the rest plays.
    void mostlyUndecodableRepliesAreRefused_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("refused");
        QTest::addColumn<int>("skipped");
        QTest::newRow("speech") << testdata::opusPackets(50) << false << 0;
        QTest::newRow("one bad packet in fifty") << withBadPackets(50, {20}) << false << 1;
        QTest::newRow("one bad among the first five") << withBadPackets(50, {1}) << false << 1;
        // Never more than one in three: the limit itself still plays.
        QTest::newRow("every third bad") << withBadPackets(30, everyThird(30)) << false << 10;
        QTest::newRow("two bad among the first five") << withBadPackets(50, {1, 3}) << true << 2;
        QTest::newRow("speech, then only bad packets")
            << testdata::opusPackets(20) + withBadPackets(80, everyIndex(80)) << true << 11;
        QTest::newRow("short and mostly bad") << withBadPackets(3, {0, 2}) << true << 2;
        QTest::newRow("1 MB of random bytes") << randomBytes(1 << 20) << true << -1;
    }
    void mostlyUndecodableRepliesAreRefused()
    {
        QFETCH(QByteArray, reply);
        QFETCH(bool, refused);
        QFETCH(int, skipped);

        bool wholeRefused = !refused;
        const std::optional<QByteArray> whole = decodeOpusPackets(reply, &wholeRefused);
        QVERIFY(whole);
        QCOMPARE(wholeRefused, refused);

        SpeechStream stream;
        QByteArray pieces;
        for (qsizetype at = 0; at < reply.size() && !stream.refused(); at += 1000) {
            stream.feed(QByteArrayView(reply).sliced(at, std::min<qsizetype>(1000, reply.size() - at)));
            pieces += stream.decode(stream.wholePackets());
        }
        stream.judgeEnd();
        QCOMPARE(stream.refused(), refused);
        if (refused) {
            // Nothing of it is kept; decoding stopped at the verdict.
            QVERIFY(whole->isEmpty());
            QVERIFY(stream.judgedPackets() < 50);
        } else {
            QCOMPARE(pieces, *whole);
            QCOMPARE(whole->size(), (reply.size() / 60 - skipped) * 1920);
        }
        if (skipped >= 0)
            QCOMPARE(stream.skippedPackets(), skipped);
    }

    // The speech buffer: a refused reply empties it, so that the previous
    // utterance is not replayed under the new text.
    void aRefusedReplyEmptiesTheSpeech()
    {
        QVERIFY(decodeSpeech(testdata::opusPackets(10)));
        QVERIFY(!decodeSpeech(randomBytes(6000)));
        QVERIFY(playbackState::instance().speech().isEmpty());
        QVERIFY(!playbackState::instance().hasSpeech());
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
