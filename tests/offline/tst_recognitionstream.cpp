// Recognition of a recording as it arrives: the stream decoder gives the
// samples the whole-recording reader gives, the resampler's pieces join up
// to its whole result, and pocketsphinx fed piece by piece hears what it
// hears from the whole recording.
#include "cloudfixture.h"
#include "oggopusdecoder.h"
#include "oggopusstream.h"
#include "oggwriter.h"
#include "pocketsphinxrecognition.h"
#include "resampler.h"
#include "speechaudio.h"

#include <QTest>

#include <cmath>
#include <cstring>

using namespace std::chrono_literals;

namespace {

std::vector<qint16> samplesOf(const QByteArray &raw)
{
    std::vector<qint16> pcm(size_t(raw.size()) / 2);
    std::memcpy(pcm.data(), raw.constData(), pcm.size() * 2);
    return pcm;
}

// Feeds `stream` in pieces of the given sizes, cycling through them.
template <typename Feed>
void inPieces(const QByteArray &stream, std::initializer_list<qsizetype> sizes, Feed feed)
{
    qsizetype at = 0;
    for (size_t i = 0; at < stream.size(); ++i) {
        const qsizetype n = std::min(*(sizes.begin() + i % sizes.size()), stream.size() - at);
        feed(QByteArrayView(stream).sliced(at, n));
        at += n;
    }
}

} // namespace

class RecognitionStreamTest : public QObject
{
    Q_OBJECT
    std::shared_ptr<PocketsphinxRecognition> engine = std::make_shared<PocketsphinxRecognition>();
    QByteArray sentence;

private slots:
    void initTestCase()
    {
        const QByteArray pcm =
            speechaudio::spokenIntoMicrophone(QStringLiteral("Where is the train station?"));
        QVERIFY(!pcm.isEmpty());
        sentence = oggOpusOf(samplesOf(pcm));
        QVERIFY(!sentence.isEmpty());
    }

    void streamDecodingEqualsWholeDecoding_data()
    {
        QTest::addColumn<QList<qsizetype>>("sizes");
        QTest::newRow("bytes") << QList<qsizetype>{1};
        QTest::newRow("uneven") << QList<qsizetype>{59, 61, 7, 300};
        QTest::newRow("whole") << QList<qsizetype>{1 << 30};
    }
    void streamDecodingEqualsWholeDecoding()
    {
        QFETCH(QList<qsizetype>, sizes);
        const std::optional<std::vector<float>> whole = decodeOggOpus(sentence);
        QVERIFY(whole);
        OggOpusStreamDecoder decoder;
        qsizetype at = 0;
        for (size_t i = 0; at < sentence.size(); ++i) {
            const qsizetype n = std::min(sizes[qsizetype(i) % sizes.size()], sentence.size() - at);
            QVERIFY(decoder.feed(QByteArrayView(sentence).sliced(at, n)));
            at += n;
        }
        QCOMPARE(decoder.samples().size(), whole->size());
        for (size_t i = 0; i < whole->size(); ++i)
            QVERIFY2(std::abs(decoder.samples()[i] - (*whole)[i]) < 1e-5f, qPrintable(QString::number(i)));
    }

    void aBrokenStreamIsSaidToBe()
    {
        // A page whose checksum does not hold.
        OggOpusStreamDecoder garbage;
        garbage.feed(QByteArray("OggS") + QByteArray(200, 'x'));
        garbage.feed(QByteArray(70000, 'y'));
        QVERIFY(garbage.broken());
        QVERIFY(!garbage.feed(sentence));
        // A sound Ogg page that is not an Opus stream.
        const QByteArray head("VorbisHead-not-opus!");
        const QByteArray page =
            OggWriter::makePage(head, QByteArray(1, char(head.size())), 0, 1, 0, true, false);
        OggOpusStreamDecoder notOpus;
        QVERIFY(!notOpus.feed(page));
        QVERIFY(notOpus.broken());
    }

    void settledResampledPiecesJoinUpToTheWhole()
    {
        std::vector<float> input(4801);
        for (size_t i = 0; i < input.size(); ++i)
            input[i] = float(std::sin(double(i) * 0.05) * 0.5);
        const std::vector<float> whole = resample(input, 48000, 16000);
        std::vector<float> joined;
        for (size_t known = 100; known <= input.size(); known += 733) {
            const size_t settled = settledOutputs(known, 48000, 16000);
            const std::vector<float> piece =
                resampleRange(std::span(input).first(known), 48000, 16000, joined.size(), settled);
            joined.insert(joined.end(), piece.begin(), piece.end());
        }
        const std::vector<float> rest = resampleRange(input, 48000, 16000, joined.size(), whole.size());
        joined.insert(joined.end(), rest.begin(), rest.end());
        QCOMPARE(joined, whole);
    }

    void recognisedInPiecesAsWhole()
    {
        // Fresh engines: a decoder's dither noise goes on from one utterance
        // to the next, so only decoders in the same state hear the same.
        PocketsphinxRecognition wholeEngine;
        PocketsphinxRecognition streamEngine;
        const auto whole = wholeEngine.recognize(sentence, QStringLiteral("en-US"), QDeadlineTimer(60s));
        QVERIFY(whole.has_value());
        QVERIFY(!whole->text.isEmpty());
        const std::unique_ptr<RecognitionStream> stream = streamEngine.startStream(QStringLiteral("en-US"));
        inPieces(sentence, {37, 400, 1000}, [&](QByteArrayView piece) { stream->feed(piece); });
        const auto streamed = stream->finish(sentence, QDeadlineTimer(60s));
        QVERIFY(streamed.has_value());
        qInfo("whole \"%s\", streamed \"%s\"", qPrintable(whole->text), qPrintable(streamed->text));
        QCOMPARE(streamed->text, whole->text);
        // The recogniser updates its running normalisation once per call,
        // so where the words begin and end may move by a 10 ms frame or two.
        constexpr qint64 twoFrames = 200'000;
        QVERIFY2(std::abs(streamed->offset - whole->offset) <= twoFrames,
                 qPrintable(QString::number(streamed->offset)));
        QVERIFY2(std::abs(streamed->duration - whole->duration) <= twoFrames,
                 qPrintable(QString::number(streamed->duration)));
    }

    void otherLanguagesAndSilenceHearNothing()
    {
        const std::unique_ptr<RecognitionStream> french = engine->startStream(QStringLiteral("fr-FR"));
        french->feed(sentence);
        QVERIFY(french->finish(sentence, QDeadlineTimer(60s))->text.isEmpty());
        const QByteArray silence = oggOpusOf(std::vector<qint16>(48000, 0));
        const std::unique_ptr<RecognitionStream> quiet = engine->startStream(QStringLiteral("en-US"));
        quiet->feed(silence);
        QVERIFY(quiet->finish(silence, QDeadlineTimer(60s))->text.isEmpty());
    }
};

QTEST_GUILESS_MAIN(RecognitionStreamTest)
#include "tst_recognitionstream.moc"
