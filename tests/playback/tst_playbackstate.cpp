#include "playbackstate.h"

#include <QTest>

#include <vector>

namespace {
QByteArray filled(int samples, qint16 value)
{
    std::vector<qint16> v(std::size_t(samples), value);
    return QByteArray(reinterpret_cast<const char *>(v.data()), samples * 2);
}

void play(const QByteArray &pcm)
{
    std::lock_guard lock(playbackState::instance().lock());
    playbackState::instance().setSourceLocked(pcm);
}
} // namespace

class PlaybackStateTest : public QObject
{
    Q_OBJECT
private slots:
    void init() { playbackState::instance().reset(); }

    void copiesThenPadsThenAsksOnceForTheStop()
    {
        play(filled(700, 7));
        std::vector<qint16> period(480, -1);
        QVERIFY(!playbackState::instance().pullSamples(period.data(), 480));
        QVERIFY(std::all_of(period.begin(), period.end(), [](qint16 s) { return s == 7; }));
        std::fill(period.begin(), period.end(), -1);
        QVERIFY(!playbackState::instance().pullSamples(period.data(), 480));
        QVERIFY(std::all_of(period.begin(), period.begin() + 220, [](qint16 s) { return s == 7; }));
        QVERIFY(std::all_of(period.begin() + 220, period.end(), [](qint16 s) { return s == 0; }));
        QVERIFY(playbackState::instance().pullSamples(period.data(), 480));
        QVERIFY(!playbackState::instance().pullSamples(period.data(), 480));
    }

    void nothingPendingMeansSilenceWithoutStop()
    {
        std::vector<qint16> period(480, -1);
        QVERIFY(!playbackState::instance().pullSamples(period.data(), 480));
        QVERIFY(std::all_of(period.begin(), period.end(), [](qint16 s) { return s == 0; }));
    }

    // An utterance still arriving: the source reads on into each piece as
    // it is appended, runs dry into silence without asking for the stop, and
    // asks once only after the utterance has ended and been played out.
    void anOpenUtteranceRunsDryWithoutStopping()
    {
        playbackState &state = playbackState::instance();
        state.beginSpeech();
        QVERIFY(state.hasSpeech());
        QVERIFY(!state.hasSpeechSamples());
        state.appendSpeech(filled(300, 4));
        {
            std::lock_guard lock(state.lock());
            state.setSpeechSourceLocked();
        }
        state.appendSpeech(filled(300, 6));
        std::vector<qint16> period(480, -1);
        QVERIFY(!state.pullSamples(period.data(), 480));
        QVERIFY(std::all_of(period.begin(), period.begin() + 300, [](qint16 s) { return s == 4; }));
        QVERIFY(std::all_of(period.begin() + 300, period.end(), [](qint16 s) { return s == 6; }));
        QVERIFY(!state.pullSamples(period.data(), 480));
        QVERIFY(std::all_of(period.begin(), period.begin() + 120, [](qint16 s) { return s == 6; }));
        QVERIFY(std::all_of(period.begin() + 120, period.end(), [](qint16 s) { return s == 0; }));
        for (int i = 0; i < 3; ++i) {
            QVERIFY(!state.pullSamples(period.data(), 480));
            QVERIFY(std::all_of(period.begin(), period.end(), [](qint16 s) { return s == 0; }));
        }
        state.appendSpeech(filled(480, 8));
        QVERIFY(!state.pullSamples(period.data(), 480));
        QVERIFY(std::all_of(period.begin(), period.end(), [](qint16 s) { return s == 8; }));
        state.endSpeech();
        QVERIFY(state.pullSamples(period.data(), 480));
        QVERIFY(!state.pullSamples(period.data(), 480));
        QCOMPARE(state.speech(), filled(300, 4) + filled(300, 6) + filled(480, 8));
    }

    // A new utterance begun under a source playing the old one: the source
    // keeps the old samples and no longer follows, so it ends with them.
    void beginningAnotherUtteranceLeavesThePlayingOneWhole()
    {
        playbackState &state = playbackState::instance();
        state.beginSpeech();
        state.appendSpeech(filled(480, 2));
        {
            std::lock_guard lock(state.lock());
            state.setSpeechSourceLocked();
        }
        state.beginSpeech();
        state.appendSpeech(filled(480, 3));
        std::vector<qint16> period(480, -1);
        QVERIFY(!state.pullSamples(period.data(), 480));
        QVERIFY(std::all_of(period.begin(), period.end(), [](qint16 s) { return s == 2; }));
        QVERIFY(state.pullSamples(period.data(), 480));
        QCOMPARE(state.speech(), filled(480, 3));
    }

    // Replacing the speech (or the blip) under a playing source: the source
    // still reads valid memory, the old samples, until a new source is set.
    void replacingTheBufferUnderThePlayingSourceIsSafe()
    {
        playbackState &state = playbackState::instance();
        state.replaceSpeech(filled(960, 5));
        play(state.speech());
        std::vector<qint16> period(480);
        QVERIFY(!state.pullSamples(period.data(), 480));

        state.replaceSpeech(filled(960, 9)); // the old speech's last owner but the source
        QVERIFY(!state.pullSamples(period.data(), 480));
        QVERIFY(std::all_of(period.begin(), period.end(), [](qint16 s) { return s == 5; }));

        state.replaceBlip(filled(100, 3));
        play(state.speech());
        QVERIFY(!state.pullSamples(period.data(), 480));
        QVERIFY(std::all_of(period.begin(), period.end(), [](qint16 s) { return s == 9; }));

        play(state.blip());
        state.replaceBlip(QByteArray());
        QVERIFY(!state.pullSamples(period.data(), 480));
        QVERIFY(std::all_of(period.begin(), period.begin() + 100, [](qint16 s) { return s == 3; }));
        QVERIFY(std::all_of(period.begin() + 100, period.end(), [](qint16 s) { return s == 0; }));
    }
};

QTEST_GUILESS_MAIN(PlaybackStateTest)
#include "tst_playbackstate.moc"
