#include "audiooutput.h"
#include "messenger.h"
#include "opuspackets.h"
#include "playerrig.h"
#include "speechdecoder.h"

#include <QFile>
#include <QGuiApplication>
#include <QTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(RenderScript::Step)

namespace {
const QString playingTrue = u"ISPLAYING=true"_s;
const QString playingFalse = u"ISPLAYING=false"_s;
const QString bipTrue = u"ISBIP=true"_s;
const QString audioError = u"AUDIOERROR="_s;

QByteArray tone(int samples, qint16 amplitude = 12000)
{
    QByteArray pcm(samples * 2, Qt::Uninitialized);
    auto *s = reinterpret_cast<qint16 *>(pcm.data());
    for (int i = 0; i < samples; ++i)
        s[i] = static_cast<qint16>((i % 96 < 48 ? 1 : -1) * amplitude);
    return pcm;
}

std::vector<qint16> scaled(const QByteArray &pcm, float volume)
{
    std::vector<qint16> samples = testdata::samplesOf(pcm);
    AudioOutput::applyVolume(samples.data(), samples.size(), volume);
    return samples;
}

bool startsWith(const std::vector<qint16> &all, const std::vector<qint16> &head, std::size_t at = 0)
{
    return all.size() >= at + head.size() && std::equal(head.begin(), head.end(), all.begin() + long(at));
}

bool silentFrom(const std::vector<qint16> &all, std::size_t at)
{
    return std::all_of(all.begin() + long(std::min(at, all.size())), all.end(),
                       [](qint16 s) { return s == 0; });
}
} // namespace

class SpeakerTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        rig.window.create();
        rig.initOnce();
        QVERIFY(speaker::current());
        QFile blip(u":/blip.pcm"_s);
        QVERIFY(blip.open(QIODevice::ReadOnly));
        blipPcm = blip.readAll();
        QCOMPARE(blipPcm.size(), 30094);
        // Silence, a tone peaking near +-10500 up to about sample 9860, silence.
        const auto blipSamples = testdata::samplesOf(blipPcm);
        QVERIFY(silentFrom(std::vector<qint16>(blipSamples.begin(), blipSamples.begin() + 2672), 0));
        QVERIFY(silentFrom(blipSamples, 9860));
        const auto [low, high] = std::minmax_element(blipSamples.begin(), blipSamples.end());
        QVERIFY(*high > 10000 && *high <= 10500 && *low < -10000 && *low >= -10500);
    }
    void init()
    {
        rig.reset();
        rig.player.setSpeechVolume(1.0);
        rig.player.setAppVolume(0.5);
        // The blip buffer is process-wide; the reset forgot it.
        playbackState::instance().replaceBlip(blipPcm);
    }
    void cleanupTestCase()
    {
        rig.onWorker([] { playback::releaseRenderDevice(); });
    }

    void playWithSpeechReportsStartAndEnd()
    {
        const QByteArray speech = tone(4800);
        playbackState::instance().replaceSpeech(speech);
        rig.script->setEndlessPeriods(480);
        rig.player.play();
        QTRY_COMPARE(rig.window.messages, (QStringList{playingTrue, playingFalse}));
        const auto out = rig.script->rendered();
        QVERIFY(startsWith(out, testdata::samplesOf(speech)));
        QVERIFY(silentFrom(out, 4800));
        QCOMPARE(rig.deviceStarts(), 1);
    }

    void stopDuringSpeech()
    {
        playbackState::instance().replaceSpeech(tone(48000));
        rig.script->addPeriods(480, 2);
        rig.player.play();
        QVERIFY(rig.script->waitUntilUsedUp(10000));
        rig.player.stop();
        QTRY_COMPARE(rig.window.messages, (QStringList{playingTrue, playingFalse}));
        QCOMPARE(rig.script->stops(), 1);
    }

    void stopWhileSilentSendsNothing()
    {
        playbackState::instance().replaceSpeech(tone(4800));
        rig.player.stop();
        rig.settle();
        QCOMPARE(rig.window.messages, QStringList{});
        QCOMPARE(rig.deviceStarts(), 0);
    }

    void bipWithoutSpeech()
    {
        rig.script->setEndlessPeriods(480);
        rig.player.bip();
        QTRY_COMPARE(rig.window.messages, QStringList{bipTrue});
        // At the application volume.
        QVERIFY(startsWith(rig.script->rendered(), scaled(blipPcm, 0.5f)));
    }

    void bipDuringSpeechReplacesItAtTheSpeechVolume()
    {
        const QByteArray speech = tone(48000);
        playbackState::instance().replaceSpeech(speech);
        rig.player.setSpeechVolume(0.8);
        rig.script->addPeriods(480, 2);
        rig.player.play();
        QVERIFY(rig.script->waitUntilUsedUp(10000));
        rig.player.bip();
        QTRY_COMPARE(rig.window.messages, (QStringList{playingTrue, playingFalse}));
        rig.settle();
        QCOMPARE(rig.window.messages, (QStringList{playingTrue, playingFalse}));

        rig.script->setEndlessPeriods(480);
        QTRY_COMPARE(rig.window.messages, (QStringList{playingTrue, playingFalse, bipTrue}));
        const auto out = rig.script->rendered();
        QVERIFY(startsWith(out, scaled(speech.left(960 * 2), 0.8f)));
        QVERIFY(startsWith(out, scaled(blipPcm, 0.8f), 960));
        QCOMPARE(rig.deviceStarts(), 1);
    }

    void stopDuringBip()
    {
        rig.script->addPeriods(480, 3);
        rig.player.bip();
        QVERIFY(rig.script->waitUntilUsedUp(10000));
        rig.player.stop();
        QTRY_COMPARE(rig.window.messages, QStringList{bipTrue});
    }

    void playBeforeAnySpeech()
    {
        rig.player.play();
        QTRY_COMPARE(rig.window.messages, QStringList{playingFalse});
        rig.settle();
        QCOMPARE(rig.window.messages, QStringList{playingFalse});
        QCOMPARE(rig.deviceStarts(), 0);
    }

    void zeroVolumePlaysSilence_data()
    {
        QTest::addColumn<double>("volume");
        QTest::newRow("zero") << 0.0;
        QTest::newRow("negative") << -0.5;
        QTest::newRow("not a number") << qQNaN();
    }
    void zeroVolumePlaysSilence()
    {
        QFETCH(double, volume);
        playbackState::instance().replaceSpeech(tone(4800));
        rig.player.setSpeechVolume(volume);
        rig.script->setEndlessPeriods(480);
        rig.player.play();
        QTRY_COMPARE(rig.window.messages, (QStringList{playingTrue, playingFalse}));
        const auto out = rig.script->rendered();
        QVERIFY(out.size() >= 4800);
        QVERIFY(silentFrom(out, 0));
    }

    void volumeChangeTakesEffectAtTheNextStart()
    {
        const QByteArray speech = tone(4800);
        playbackState::instance().replaceSpeech(speech);
        rig.script->addPeriods(480, 2);
        rig.player.play();
        QVERIFY(rig.script->waitUntilUsedUp(10000));
        rig.player.setSpeechVolume(0.25);
        rig.settle();
        rig.script->setEndlessPeriods(480);
        QTRY_COMPARE(rig.window.messages, (QStringList{playingTrue, playingFalse}));
        QVERIFY(startsWith(rig.script->rendered(), testdata::samplesOf(speech)));

        rig.player.play();
        QTRY_COMPARE(rig.window.messages.size(), 4);
        const auto out = rig.script->rendered();
        const auto second = std::find_if(out.begin() + 4800, out.end(), [](qint16 s) { return s != 0; });
        QVERIFY(startsWith(out, scaled(speech, 0.25f), std::size_t(second - out.begin())));
    }

    void newReplyWhileSilentPlaysAtOnce()
    {
        const QByteArray reply = rig.reply(25);
        QCOMPARE(reply.size(), 1500);
        rig.script->setEndlessPeriods(480);
        messenger::instance()->speechReady.fire(reply);
        QTRY_COMPARE(rig.window.messages, (QStringList{playingTrue, playingFalse}));
        const QByteArray speech = playbackState::instance().speech();
        QCOMPARE(speech.size(), 25 * 1920);
        QVERIFY(startsWith(rig.script->rendered(), testdata::samplesOf(speech)));
    }

    // A reply arriving during speech replaces the buffer the render thread is
    // reading; the rest of the old speech must never be read from freed
    // memory (AddressSanitizer and ThreadSanitizer builds check this).
    void replyDuringSpeechReplacesTheBufferSafely()
    {
        const QByteArray first = rig.reply(50, 300.0);
        const QByteArray second = rig.reply(20, 700.0);
        rig.script->addPeriods(480, 3);
        messenger::instance()->speechReady.fire(first);
        QVERIFY(rig.script->waitUntilUsedUp(10000));
        const QByteArray firstPcm = playbackState::instance().speech();

        messenger::instance()->speechReady.fire(second);
        rig.settle();
        rig.script->setEndlessPeriods(480);
        QTRY_COMPARE(rig.window.messages, (QStringList{playingTrue, playingTrue, playingFalse}));
        const QByteArray secondPcm = playbackState::instance().speech();
        QCOMPARE(secondPcm.size(), 20 * 1920);

        const auto out = rig.script->rendered();
        QVERIFY(startsWith(out, testdata::samplesOf(firstPcm.left(3 * 960))));
        QVERIFY(startsWith(out, testdata::samplesOf(secondPcm), 3 * 480));
        QCOMPARE(rig.deviceStarts(), 1);
    }

    void replyWhileTheRenderThreadReadsConcurrently()
    {
        // No pauses in the script: replies land while periods are being
        // pulled, in whatever interleaving the threads produce.
        rig.script->setEndlessPeriods(480);
        for (int i = 0; i < 20; ++i)
            messenger::instance()->speechReady.fire(rig.reply(5 + i % 7, 200.0 + 20 * i));
        QTRY_COMPARE(rig.window.messages.count(playingTrue), 20);
        QTRY_COMPARE(rig.window.messages.last(), playingFalse);
        rig.settle();
        QCOMPARE(rig.window.messages.last(), playingFalse);
    }

    // The render thread ended on a passing error while still marked running:
    // the next playback start brings the device back, so the speech is heard.
    // (A wait that times out does not end it: see tst_renderfaults.)
    void stalledDeviceIsBroughtBack_data()
    {
        QTest::addColumn<RenderScript::Step>("failure");
        QTest::newRow("device error") << RenderScript::Step::AcquireFailure;
        QTest::newRow("wait fails") << RenderScript::Step::WaitFailure;
    }
    void stalledDeviceIsBroughtBack()
    {
        QFETCH(RenderScript::Step, failure);
        const QByteArray speech = tone(4800);
        playbackState::instance().replaceSpeech(speech);
        rig.script->addPeriods(480);
        rig.script->add(failure);
        rig.player.play();
        QTRY_COMPARE(rig.window.messages, QStringList{playingTrue});
        QTRY_VERIFY(rig.deviceStalled());
        rig.settle();
        QCOMPARE(rig.window.messages, QStringList{playingTrue});

        rig.script->setEndlessPeriods(480);
        rig.player.play();
        QTRY_COMPARE(rig.window.messages, (QStringList{playingTrue, playingTrue, playingFalse}));
        QCOMPARE(rig.deviceStarts(), 2);
        QVERIFY(startsWith(rig.script->rendered(), testdata::samplesOf(speech), 480));
    }

    void deviceThatFailsToSetUpSucceedsAtTheNextStart()
    {
        playbackState::instance().replaceSpeech(tone(4800));
        rig.script->failNextOpens(1);
        rig.script->setEndlessPeriods(480);
        rig.player.play();
        // Nothing can play: the interface hears why, and that nothing plays
        // (never a "playing" that no end follows).
        QTRY_COMPARE(rig.window.messages, (QStringList{audioError, playingFalse}));
        rig.settle();
        QCOMPARE(rig.window.messages, (QStringList{audioError, playingFalse}));
        QCOMPARE(rig.script->opens(), 1);
        QCOMPARE(rig.deviceStarts(), 0);

        rig.player.play();
        QTRY_COMPARE(rig.window.messages, (QStringList{audioError, playingFalse, playingTrue, playingFalse}));
        QCOMPARE(rig.script->opens(), 2);
        QCOMPARE(rig.deviceStarts(), 1);
    }

    void aPromptThatCannotSoundStillLetsTheRecordingStart()
    {
        rig.script->failNextOpens(1);
        rig.player.bip();
        // The controller starts recording on "ISBIP": it must come.
        QTRY_COMPARE(rig.window.messages, (QStringList{audioError, bipTrue}));
        QCOMPARE(rig.deviceStarts(), 0);
    }

    void anOutputThatIsGoneEndsThePlaybackAndTheNextOpensAfresh_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<QString>("reason");
        QTest::newRow("unplugged") << int(DeviceFault::Lost) << u"lost"_s;
        QTest::newRow("taken exclusively") << int(DeviceFault::InUse) << u"inUse"_s;
    }
    void anOutputThatIsGoneEndsThePlaybackAndTheNextOpensAfresh()
    {
        QFETCH(int, fault);
        QFETCH(QString, reason);
        const QByteArray speech = tone(48000);
        playbackState::instance().replaceSpeech(speech);
        rig.script->setFault(DeviceFault(fault));
        rig.script->addPeriods(480);
        rig.script->add(RenderScript::Step::DeviceGone);
        rig.player.play();
        // The playback ends at once (no stall waiting for a next press) and
        // the interface hears why.
        QTRY_COMPARE(rig.window.messages, (QStringList{playingTrue, audioError, playingFalse}));
        const QVariantMap error = rig.window.values.at(1).toMap();
        QCOMPARE(error.value(u"reason"_s).toString(), reason);
        QCOMPARE(error.value(u"device"_s).toString(), u"output"_s);
        QCOMPARE(rig.script->opens(), 1);

        rig.script->setEndlessPeriods(480);
        rig.player.play();
        QTRY_COMPARE(rig.window.messages.size(), 5);
        QCOMPARE(rig.window.messages.mid(3), (QStringList{playingTrue, playingFalse}));
        QCOMPARE(rig.script->opens(), 2);
        QVERIFY(startsWith(rig.script->rendered(), testdata::samplesOf(speech), 480));
    }

    void anotherDefaultOutputIsOpenedForTheNextPlayback()
    {
        playbackState::instance().replaceSpeech(tone(4800));
        rig.script->setEndlessPeriods(480);
        rig.player.play();
        QTRY_COMPARE(rig.window.messages, (QStringList{playingTrue, playingFalse}));
        rig.script->setStillDefault(false);
        rig.player.play();
        QTRY_COMPARE(rig.window.messages.size(), 4);
        QCOMPARE(rig.script->opens(), 2);
        rig.script->setStillDefault(true);
        rig.player.play();
        QTRY_COMPARE(rig.window.messages.size(), 6);
        QCOMPARE(rig.script->opens(), 2);
    }

    void aSetUpRefusedBySystemSaysSo()
    {
        playbackState::instance().replaceSpeech(tone(4800));
        rig.script->setFault(DeviceFault::Denied);
        rig.script->failNextOpens(1);
        rig.player.play();
        QTRY_COMPARE(rig.window.messages, (QStringList{audioError, playingFalse}));
        QCOMPARE(rig.window.values.first().toMap().value(u"reason"_s).toString(), u"permission"_s);
    }

private:
    PlayerRig rig;
    QByteArray blipPcm;
};

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    SpeakerTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_speaker.moc"
