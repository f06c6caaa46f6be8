#include "capturetesting.h"
#include "encoder.h"
#include "messenger.h"
#include "oggpages.h"

#include <QTest>

#include <cmath>

using namespace capturetesting;

namespace {
// Page and packet content of a stream with serial and checksum left out, so
// that recordings of the same input compare equal.
QByteArray withoutSerialAndChecksum(const QByteArray &stream)
{
    QByteArray result;
    for (OggPage page : splitPages(stream)) {
        std::fill(page.bytes.begin() + 14, page.bytes.begin() + 18, '\0');
        std::fill(page.bytes.begin() + 22, page.bytes.begin() + 26, '\0');
        result += page.bytes;
    }
    return result;
}

std::vector<qint16> tone(std::size_t count)
{
    std::vector<qint16> samples(count);
    for (std::size_t i = 0; i < count; ++i)
        samples[i] = qint16(6000 * std::sin(double(i) * 2 * M_PI * 440 / 48000) +
                            3000 * std::sin(double(i) * 2 * M_PI * 1234 / 48000));
    return samples;
}
} // namespace

// Receives the pages the encoder hands on while it records.
struct PageSink : QObject
{
    QList<QByteArray> pieces;
    void receive(const QByteArray &pages) { pieces.append(pages); }
};

class EncoderTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // No microphone here: the device fails to set up and only the encoder runs.
        useScriptedDevice({}, {.failOpen = true}, nullptr);
        messenger::instance()->recordingReady.connect(&sink, &RecordingSink::receive);
    }

    void init() { sink.recordings.clear(); }

    void idleEncoderHasNoStream()
    {
        encoder e(messenger::instance());
        QCOMPARE(e.status(), encoder::idleStatus);
        const std::vector<qint16> samples = tone(2000);
        e.pushSamples(samples.data(), qint64(samples.size()));
        QCOMPARE(e.bufferedSamples(), 0);
        QVERIFY(e.writer().stream().isEmpty());
        e.finishStream();
        QVERIFY(sink.recordings.isEmpty());
    }

    void pressShorterThanOneFrameGivesThreePages()
    {
        encoder e(messenger::instance());
        e.startEncoding();
        QCOMPARE(e.status(), 0);
        const std::vector<qint16> samples = tone(959);
        e.pushSamples(samples.data(), qint64(samples.size()));
        e.finishStream();
        QCOMPARE(e.status(), encoder::idleStatus);

        QCOMPARE(sink.recordings.size(), 1);
        const QList<OggPage> pages = splitPages(sink.recordings.first());
        QCOMPARE(pages.size(), 3);
        QCOMPARE(pages[0].flags(), quint8(0x02));
        QCOMPARE(pages[0].granule(), 0);
        QCOMPARE(pages[0].lacing(), QList<int>{19});
        QCOMPARE(pages[1].flags(), quint8(0));
        QCOMPARE(pages[1].granule(), 0);
        QCOMPARE(pages[1].lacing(), QList<int>{21});
        QCOMPARE(pages[2].flags(), quint8(0x04));
        QCOMPARE(pages[2].granule(), 0);
        QCOMPARE(pages[2].segmentCount(), 0);
        QCOMPARE(pages[2].bytes.size(), 27);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(pages[i].sequence(), quint32(i));
        QVERIFY(e.writer().stream().isEmpty());
    }

    void ninetyNineHundredNinetyNineSamplesGiveOnePacket()
    {
        encoder e(messenger::instance());
        e.startEncoding();
        const std::vector<qint16> samples = tone(999);
        e.pushSamples(samples.data(), qint64(samples.size()));
        QCOMPARE(e.bufferedSamples(), 39);
        QCOMPARE(e.writer().granule(), 960);
        e.finishStream();
        QCOMPARE(sink.recordings.size(), 1);
        const QList<OggPage> pages = splitPages(sink.recordings.first());
        QCOMPARE(pages.size(), 3);
        QCOMPARE(pages[2].segmentCount(), 1);
        QCOMPARE(pages[2].granule(), 960);
        QCOMPARE(pages[2].flags(), quint8(0x04));
        QCOMPARE(e.bufferedSamples(), 0);
    }

    void pagesOfOneHundredMillisecondsThenAnEmptyLastPage()
    {
        encoder e(messenger::instance());
        e.startEncoding();
        const std::vector<qint16> samples = tone(255 * 960);
        e.pushSamples(samples.data(), qint64(samples.size()));
        const QList<OggPage> before = splitPages(e.writer().stream());
        QCOMPARE(before.size(), 2 + 255 / 5);
        for (qsizetype i = 2; i < before.size(); ++i) {
            QCOMPARE(before[i].sequence(), quint32(i));
            QCOMPARE(before[i].segmentCount(), 5);
            QCOMPARE(before[i].granule(), 960 * 5 * (i - 1));
            QCOMPARE(before[i].flags(), quint8(0));
            for (int size : before[i].lacing())
                QVERIFY(size >= 1 && size <= 254);
        }

        e.finishStream();
        const QList<OggPage> pages = splitPages(sink.recordings.first());
        QCOMPARE(pages.size(), before.size() + 1);
        QCOMPARE(pages.last().sequence(), quint32(before.size()));
        QCOMPARE(pages.last().flags(), quint8(0x04));
        QCOMPARE(pages.last().segmentCount(), 0);
        QCOMPARE(pages.last().granule(), 244800);
    }

    void pagesHandedOnAsMadeAddUpToTheRecording()
    {
        PageSink pageSink;
        messenger::instance()->recordingPages.connect(&pageSink, &PageSink::receive);
        encoder e(messenger::instance());
        e.startEncoding();
        // The headers leave at the start, before any audio.
        QCOMPARE(pageSink.pieces.size(), 1);
        QCOMPARE(splitPages(pageSink.pieces.first()).size(), 2);
        // Blocks of any size; a page leaves with every fifth packet.
        const std::vector<qint16> samples = tone(23 * 960 + 100);
        for (size_t at = 0; at < samples.size(); at += 777)
            e.pushSamples(samples.data() + at, qint64(std::min<size_t>(777, samples.size() - at)));
        QCOMPARE(pageSink.pieces.size(), 1 + 23 / 5);
        e.finishStream();
        QCOMPARE(sink.recordings.size(), 1);
        const QByteArray recording = sink.recordings.first();
        const QByteArray streamed = pageSink.pieces.join();
        // Every page but the last left before the end, unchanged.
        QVERIFY(recording.startsWith(streamed));
        QCOMPARE(splitPages(recording.sliced(streamed.size())).size(), 1);
        QCOMPARE(splitPages(recording).size(), 2 + 23 / 5 + 1);
        pageSink.pieces.clear();
    }

    void aRecordingStopsGrowingAtSixtySeconds()
    {
        // The countdown ends at 60 s and the release adds its tail: a longer
        // stream would be refused by the recognition service.
        encoder e(messenger::instance());
        e.startEncoding();
        const std::vector<qint16> second = tone(48000);
        for (int s = 0; s < 61; ++s)
            e.pushSamples(second.data(), qint64(second.size()));
        QCOMPARE(e.writer().granule(), encoder::maxRecordingSamples);
        e.finishStream();
        QCOMPARE(sink.recordings.size(), 1);
        const QList<OggPage> pages = splitPages(sink.recordings.first());
        QCOMPARE(pages.constLast().granule(), encoder::maxRecordingSamples);
        QCOMPARE(pages.constLast().flags(), quint8(0x04));
    }

    void blockSizeDoesNotChangeTheStream()
    {
        const std::vector<qint16> speech = sentence();
        QVERIFY(speech.size() > 48000);
        const std::size_t count = 48000 + 123;
        QByteArray reference;
        for (std::size_t block : {std::size_t(960), std::size_t(1), std::size_t(7), std::size_t(5000)}) {
            encoder e(messenger::instance());
            e.startEncoding();
            for (std::size_t at = 0; at < count; at += block)
                e.pushSamples(speech.data() + at, qint64(std::min(block, count - at)));
            e.finishStream();
            QCOMPARE(sink.recordings.size(), 1);
            const QByteArray stream = withoutSerialAndChecksum(sink.recordings.takeFirst());
            QCOMPARE(audioPackets(stream).size(), 50);
            if (reference.isEmpty())
                reference = stream;
            else
                QVERIFY2(stream == reference, qPrintable(QStringLiteral("block of %1 samples").arg(block)));
        }
    }

    void recordingsGetIndependentSerials()
    {
        encoder e(messenger::instance());
        const std::vector<qint16> samples = tone(3000);
        for (int i = 0; i < 2; ++i) {
            e.startEncoding();
            e.pushSamples(samples.data(), qint64(samples.size()));
            e.finishStream();
        }
        QCOMPARE(sink.recordings.size(), 2);
        const QList<OggPage> first = splitPages(sink.recordings[0]);
        const QList<OggPage> second = splitPages(sink.recordings[1]);
        QVERIFY(first[0].serial() != second[0].serial());
        for (const QList<OggPage> &pages : {first, second}) {
            for (qsizetype i = 0; i < pages.size(); ++i) {
                QCOMPARE(pages[i].serial(), pages[0].serial());
                QCOMPARE(pages[i].sequence(), quint32(i));
            }
        }
    }

    void restartDiscardsTheOpenStream()
    {
        encoder e(messenger::instance());
        const std::vector<qint16> samples = tone(5000);
        e.startEncoding();
        e.pushSamples(samples.data(), qint64(samples.size()));
        const quint32 firstSerial = e.writer().serial();
        e.startEncoding();
        QCOMPARE(e.writer().granule(), 0);
        QCOMPARE(e.bufferedSamples(), 0);
        QCOMPARE(splitPages(e.writer().stream()).size(), 2);
        e.finishStream();
        QCOMPARE(sink.recordings.size(), 1);
        const QList<OggPage> pages = splitPages(sink.recordings.first());
        QCOMPARE(pages.size(), 3);
        QVERIFY(pages[0].serial() != firstSerial);
    }

    void sampleBufferKeepsItsCapacity()
    {
        encoder e(messenger::instance());
        QCOMPARE(e.bufferCapacity(), 960);
        e.startEncoding();
        const std::vector<qint16> small = tone(900);
        e.pushSamples(small.data(), qint64(small.size()));
        QCOMPARE(e.bufferCapacity(), 960);
        const std::vector<qint16> large = tone(5000);
        e.pushSamples(large.data(), qint64(large.size()));
        QCOMPARE(e.bufferCapacity(), 5900);
        QCOMPARE(e.bufferedSamples(), 5900 - 6 * 960);
        e.finishStream();
        QCOMPARE(e.bufferCapacity(), 5900);
    }

    void deviceIsAskedForItsFormat()
    {
        encoder e(messenger::instance());
        QCOMPARE(e.sampleRate(), 48000);
        QCOMPARE(e.channelCount(), 1);
    }

private:
    RecordingSink sink;
};

QTEST_GUILESS_MAIN(EncoderTest)

#include "tst_encoder.moc"
