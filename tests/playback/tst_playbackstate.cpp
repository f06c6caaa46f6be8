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
