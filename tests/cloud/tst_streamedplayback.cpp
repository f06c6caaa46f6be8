// The whole road of a synthesis reply that the service speaks as it goes:
// the real client reads it over TLS from the local service in pieces, the
// speaker decodes and plays each as it comes, and the device renders exactly
// the samples of the reply decoded whole.
#include "cloudfixture.h"

#include "audiooutput.h"
#include "onthread.h"
#include "output.h"
#include "playbackstate.h"
#include "renderdevice.h"
#include "scriptedrenderbackend.h"
#include "speaker.h"
#include "speechdecoder.h"
#include "synthesis.h"
#include "tts.h"

#include <QTest>

#include <cstring>

using namespace tolka::cloud;

namespace {
std::vector<qint16> samplesOf(const QByteArray &pcm)
{
    std::vector<qint16> samples(std::size_t(pcm.size() / 2));
    std::memcpy(samples.data(), pcm.constData(), samples.size() * 2);
    return samples;
}
} // namespace

class StreamedPlaybackTest : public QObject
{
    Q_OBJECT
    CloudFixture fixture;
    MessageWindow window;
    SpeechSink sink;
    tts client;
    output player;
    std::shared_ptr<RenderScript> script = std::make_shared<RenderScript>();

    template <typename F> void onWorker(F work) { runOn(speaker::current().data(), work); }

private slots:
    void initTestCase()
    {
        if (wholeReplies())
            QSKIP("whole replies asked for");
        QString error;
        QVERIFY2(fixture.start(&error), qPrintable(error));
        sink.connectToHub();
        player.init(1.0, 0.5);
        onWorker([s = script] {
            playback::releaseRenderDevice();
            playback::setBackendFactory([s] { return std::make_unique<ScriptedRenderBackend>(s); });
        });
        client.setSpeechLanguage("fr-FR");
    }
    void cleanupTestCase()
    {
        if (speaker::current())
            onWorker([] { playback::releaseRenderDevice(); });
    }

    void aPacedReplyPlaysExactlyWhatTheWholeReplyWould()
    {
        const auto engine = std::make_shared<LongToneSynthesis>(3000);
        fixture.service().setSynthesisEngine(engine);
        fixture.service().setSynthesisPace(std::chrono::milliseconds(30));
        // The device takes nothing until the reply is in, so that the
        // comparison is sample for sample, with no silence of waiting.
        client.tvoice("Bonjour", "fr-FR-DeniseNeural");
        QTRY_COMPARE(sink.received.size(), 1);
        QVERIFY2(sink.pieceCounts.constFirst() >= 3,
                 qPrintable(QString::number(sink.pieceCounts.constFirst())));
        QCOMPARE(sink.received.constFirst(), engine->audio());
        const std::vector<qint16> whole =
            samplesOf(decodeOpusPackets(engine->audio()).value_or(QByteArray()));
        QCOMPARE(whole.size(), std::size_t(150 * 960));
        // Decoded on the worker thread as the pieces came; playing began
        // with the first ones.
        QTRY_COMPARE(std::size_t(playbackState::instance().speech().size() / 2), whole.size());
        QTRY_COMPARE(window.trace(), QStringList{QStringLiteral("ISPLAYING:true")});
        QCOMPARE(script->starts(), 1);

        script->setEndlessPeriods(480);
        QTRY_COMPARE(window.trace(),
                     (QStringList{QStringLiteral("ISPLAYING:true"), QStringLiteral("ISPLAYING:false")}));
        const std::vector<qint16> out = script->rendered();
        QVERIFY(out.size() >= whole.size());
        QVERIFY(std::equal(whole.begin(), whole.end(), out.begin()));
        QVERIFY(std::all_of(out.begin() + long(whole.size()), out.end(), [](qint16 s) { return s == 0; }));
        QCOMPARE(fixture.service().log().entries().size(), 1);
    }
};

QTEST_MAIN(StreamedPlaybackTest)
#include "tst_streamedplayback.moc"
