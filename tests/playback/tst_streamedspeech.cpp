// A synthesis reply played while it arrives: pieces cut anywhere play the
// samples of the whole reply; stop, replay and a newer reply behave as with
// whole replies; a reply that goes quiet ends.
#include "messenger.h"
#include "opuspackets.h"
#include "playerrig.h"
#include "speechdecoder.h"
#include "speechstream.h"

#include <QFile>
#include <QGuiApplication>
#include <QTest>

#include <vector>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {
const QString playingTrue = u"ISPLAYING=true"_s;
const QString playingFalse = u"ISPLAYING=false"_s;
const QString bipTrue = u"ISBIP=true"_s;
constexpr qsizetype packet = testdata::packetBytes;
constexpr int samplesPerPacket = 960;
constexpr std::uint32_t period = 480;

std::vector<qint16> decoded(const QByteArray &reply)
{
    return testdata::samplesOf(decodeOpusPackets(reply).value_or(QByteArray()));
}

std::vector<qint16> slice(const std::vector<qint16> &all, std::size_t from, std::size_t count)
{
    const std::size_t end = std::min(all.size(), from + count);
    return std::vector<qint16>(all.begin() + long(std::min(from, end)), all.begin() + long(end));
}

bool silentFrom(const std::vector<qint16> &all, std::size_t at)
{
    return std::all_of(all.begin() + long(std::min(at, all.size())), all.end(),
                       [](qint16 s) { return s == 0; });
}
} // namespace

class StreamedSpeechTest : public QObject
{
    Q_OBJECT
    PlayerRig rig;
    std::uint64_t lastReply = 1000;

    // Hands on bytes [at, at + size) of `reply` as piece `index` of reply
    // `id`, from the worker thread (where the bytes are cut, so that no
    // buffer crosses threads through Qt's queue alone), and lets the speaker
    // decode all it has.
    void piece(std::uint64_t id, std::uint64_t index, const QByteArray &reply, qsizetype at, qsizetype size,
               bool last = false)
    {
        rig.onWorker([=] {
            messenger::instance()->speechPieceReady.fire(SpeechPiece{id, index, reply.mid(at, size), last});
        });
        rig.settle();
    }

    [[nodiscard]] std::size_t speechSamples() const
    {
        return std::size_t(playbackState::instance().speech().size() / 2);
    }

    // Lets the blocked device take exactly `samples` more samples.
    void play(std::size_t samples)
    {
        QCOMPARE(samples % period, std::size_t(0));
        if (samples == 0)
            return;
        rig.script->addPeriods(period, int(samples / period));
        QVERIFY(rig.script->waitUntilUsedUp(10000));
    }

private slots:
    void initTestCase()
    {
        rig.window.create();
        rig.initOnce();
        QVERIFY(speaker::current());
    }
    void init()
    {
        rig.reset();
        rig.player.setSpeechVolume(1.0);
        rig.onWorker([] { speaker::current()->setPieceTimeout(speaker::pieceTimeout); });
    }
    void cleanupTestCase()
    {
        rig.onWorker([] { playback::releaseRenderDevice(); });
    }

    // Played as it comes, piece by piece, the device never waiting on a
    // piece: what it renders is the reply decoded whole, sample for sample.
    void unevenPiecesPlayTheWholeReply_data()
    {
        QTest::addColumn<QList<int>>("cuts");
        QTest::newRow("1, 59, 61, many") << QList<int>{1, 59, 61, 60 * 37 - 1, 1, 60 * 3 + 7, 53};
        QTest::newRow("byte by byte at the start") << QList<int>{1, 1, 1, 1, 56, 60, 119, 61};
        QTest::newRow("all in one") << QList<int>{};
    }
    void unevenPiecesPlayTheWholeReply()
    {
        QFETCH(QList<int>, cuts);
        const QByteArray reply = rig.reply(60);
        QCOMPARE(reply.size(), 60 * packet);
        const std::vector<qint16> whole = decoded(reply);
        QCOMPARE(whole.size(), std::size_t(60 * samplesPerPacket));

        const std::uint64_t id = ++lastReply;
        std::uint64_t index = 0;
        qsizetype at = 0;
        std::size_t played = 0;
        for (const int size : cuts) {
            piece(id, index++, reply, at, size);
            at += size;
            // Exactly the samples decoded so far: whole packets only.
            QCOMPARE(speechSamples(), std::size_t(at / packet * samplesPerPacket));
            // The device starts once enough packets were judged to play.
            if (at / packet < SpeechStream::refusalMinimum)
                continue;
            play(speechSamples() - played);
            played = speechSamples();
        }
        piece(id, index, reply, at, reply.size() - at, true);
        QCOMPARE(speechSamples(), whole.size());
        rig.script->setEndlessPeriods(period);
        QTRY_COMPARE(rig.window.messages, (QStringList{playingTrue, playingFalse}));
        const std::vector<qint16> out = rig.script->rendered();
        QCOMPARE(slice(out, 0, whole.size()), whole);
        QVERIFY(silentFrom(out, whole.size()));
        QCOMPARE(rig.deviceStarts(), 1);
        QCOMPARE(rig.script->stops(), 1);
    }

    // The device outruns the reply: it plays silence and keeps running
    // until the rest comes, and the end is reported once, after the last
    // sample of the whole reply.
    void aDeviceThatRunsDryWaitsForTheRest()
    {
        const QByteArray reply = rig.reply(30);
        const std::vector<qint16> whole = decoded(reply);
        const std::uint64_t id = ++lastReply;
        rig.script->setEndlessPeriods(period);
        piece(id, 0, reply, 0, 10 * packet);
        QTRY_COMPARE(rig.window.messages, QStringList{playingTrue});
        // Well past the 200 ms received: silence, and still playing.
        QTRY_VERIFY(rig.script->rendered().size() > whole.size() * 2);
        QCOMPARE(rig.window.messages, QStringList{playingTrue});
        QCOMPARE(rig.script->stops(), 0);

        piece(id, 1, reply, 10 * packet, 20 * packet, true);
        QTRY_COMPARE(rig.window.messages, (QStringList{playingTrue, playingFalse}));
        const std::vector<qint16> out = rig.script->rendered();
        const std::size_t first = 10 * samplesPerPacket;
        QCOMPARE(slice(out, 0, first), slice(whole, 0, first));
        // The rest follows after whole periods of silence.
        std::size_t resumed = first;
        while (resumed < out.size() && slice(out, resumed, period) != slice(whole, first, period))
            resumed += period;
        QVERIFY(resumed < out.size());
        QVERIFY(silentFrom(slice(out, first, resumed - first), 0));
        QCOMPARE(slice(out, resumed, whole.size() - first), slice(whole, first, whole.size() - first));
        QVERIFY(silentFrom(out, resumed + whole.size() - first));
        QCOMPARE(rig.deviceStarts(), 1);
    }

    // Stopped while it still arrives: later pieces do not start it again,
    // but are kept, so that replay speaks the whole utterance, also while
    // its end is still coming.
    void stopThenReplayDuringTheReply()
    {
        const QByteArray reply = rig.reply(40);
        const std::vector<qint16> whole = decoded(reply);
        const std::uint64_t id = ++lastReply;
        piece(id, 0, reply, 0, 10 * packet);
        play(4 * period);
        rig.player.stop();
        QTRY_COMPARE(rig.window.messages, (QStringList{playingTrue, playingFalse}));
        const std::size_t firstRun = rig.script->rendered().size();

        piece(id, 1, reply, 10 * packet, 10 * packet + 30);
        rig.settle();
        QCOMPARE(rig.window.messages, (QStringList{playingTrue, playingFalse}));
        QCOMPARE(rig.deviceStarts(), 1);

        rig.player.play(); // the reply is still arriving
        QTRY_COMPARE(rig.window.messages, (QStringList{playingTrue, playingFalse, playingTrue}));
        piece(id, 2, reply, 20 * packet + 30, 20 * packet - 30, true);
        rig.script->setEndlessPeriods(period);
        QTRY_COMPARE(rig.window.messages,
                     (QStringList{playingTrue, playingFalse, playingTrue, playingFalse}));
        const std::vector<qint16> out = rig.script->rendered();
        QCOMPARE(slice(out, 0, 4 * period), slice(whole, 0, 4 * period));
        QCOMPARE(slice(out, firstRun, whole.size()), whole);
        QVERIFY(silentFrom(out, firstRun + whole.size()));
        QCOMPARE(rig.deviceStarts(), 2);

        // And once more, once it has all arrived.
        const std::size_t secondRun = out.size();
        rig.player.play();
        QTRY_COMPARE(rig.window.messages.size(), 6);
        QCOMPARE(rig.window.messages.mid(4), (QStringList{playingTrue, playingFalse}));
        const std::vector<qint16> again = rig.script->rendered();
        QCOMPARE(slice(again, secondRun, whole.size()), whole);
    }

    // A second reply while the first still arrives replaces it at the next
    // period; the first one's later pieces never join the second.
    void aSecondReplyWhileTheFirstStillArrives()
    {
        const QByteArray first = rig.reply(30, 300.0);
        const QByteArray second = rig.reply(25, 700.0);
        const std::vector<qint16> firstPcm = decoded(first);
        const std::vector<qint16> secondPcm = decoded(second);
        const std::uint64_t a = ++lastReply;
        const std::uint64_t b = ++lastReply;
        piece(a, 0, first, 0, 10 * packet);
        play(4 * period);

        piece(b, 0, second, 0, 7 * packet + 13);
        piece(a, 1, first, 10 * packet, 10 * packet);
        piece(b, 1, second, 7 * packet + 13, 10 * packet);
        piece(a, 2, first, 20 * packet, 10 * packet, true);
        piece(b, 2, second, 17 * packet + 13, 8 * packet - 13, true);
        QCOMPARE(
            playbackState::instance().speech(),
            QByteArray(reinterpret_cast<const char *>(secondPcm.data()), qsizetype(secondPcm.size() * 2)));

        rig.script->setEndlessPeriods(period);
        QTRY_COMPARE(rig.window.messages, (QStringList{playingTrue, playingTrue, playingFalse}));
        const std::vector<qint16> out = rig.script->rendered();
        QCOMPARE(slice(out, 0, 4 * period), slice(firstPcm, 0, 4 * period));
        QCOMPARE(slice(out, 4 * period, secondPcm.size()), secondPcm);
        QVERIFY(silentFrom(out, 4 * period + secondPcm.size()));
        QCOMPARE(rig.deviceStarts(), 1);
    }

    // Pieces of a reply that are not the next one expected are dropped: a
    // repeated or skipped index, and anything after the last piece.
    void piecesOutOfOrderAreDropped()
    {
        const QByteArray reply = rig.reply(20);
        const std::vector<qint16> whole = decoded(reply);
        const std::uint64_t id = ++lastReply;
        piece(id, 0, reply, 0, 10 * packet);
        piece(id, 2, reply, 0, 5 * packet); // one skipped
        piece(id, 1, reply, 10 * packet, 10 * packet, true);
        piece(id, 1, reply, 0, 10 * packet); // repeated
        piece(id, 2, reply, 0, 10 * packet); // after the last
        QCOMPARE(playbackState::instance().speech(),
                 QByteArray(reinterpret_cast<const char *>(whole.data()), qsizetype(whole.size() * 2)));
    }

    // A reply that sends nothing more for the timeout ends with what came.
    void aReplyThatGoesQuietEnds()
    {
        rig.onWorker([] { speaker::current()->setPieceTimeout(300ms); });
        const QByteArray reply = rig.reply(10);
        const std::vector<qint16> whole = decoded(reply);
        const std::uint64_t id = ++lastReply;
        rig.script->setEndlessPeriods(period);
        piece(id, 0, reply, 0, 10 * packet);
        QTRY_COMPARE(rig.window.messages, (QStringList{playingTrue, playingFalse}));
        const std::vector<qint16> out = rig.script->rendered();
        QCOMPARE(slice(out, 0, whole.size()), whole);
        QCOMPARE(rig.script->stops(), 1);
        QVERIFY(!playbackState::instance().speechOpen());
        // Its late pieces are dropped.
        piece(id, 1, reply, 0, 10 * packet, true);
        QCOMPARE(std::size_t(playbackState::instance().speech().size() / 2), whole.size());
        QCOMPARE(rig.window.messages, (QStringList{playingTrue, playingFalse}));
    }

    // A reply whose pieces hold no whole packet plays nothing and is over at
    // its end, as a whole reply of the same bytes is.
    void aReplyWithoutAWholePacketIsOverAtItsEnd()
    {
        const QByteArray reply = rig.reply(1);
        const std::uint64_t id = ++lastReply;
        piece(id, 0, reply, 0, 20);
        piece(id, 1, reply, 20, 39, true);
        QTRY_COMPARE(rig.window.messages, QStringList{playingFalse});
        QCOMPARE(rig.deviceStarts(), 0);
    }

    // The prompt sound during a streamed reply replaces it; the rest of the
    // reply is kept for replay but does not interrupt the blip.
    void theBlipDuringAReply()
    {
        QFile blip(u":/blip.pcm"_s);
        if (blip.open(QIODevice::ReadOnly))
            playbackState::instance().replaceBlip(blip.readAll());
        else
            playbackState::instance().replaceBlip(QByteArray(9600, '\1'));
        const QByteArray reply = rig.reply(20);
        const std::uint64_t id = ++lastReply;
        piece(id, 0, reply, 0, 5 * packet);
        play(2 * period);
        rig.player.bip();
        rig.settle();
        piece(id, 1, reply, 5 * packet, 15 * packet, true);
        rig.script->setEndlessPeriods(period);
        QTRY_COMPARE(rig.window.messages, (QStringList{playingTrue, playingFalse, bipTrue}));
        QCOMPARE(std::size_t(playbackState::instance().speech().size() / 2),
                 std::size_t(20 * samplesPerPacket));
        QCOMPARE(rig.deviceStarts(), 1);
    }
};

QTEST_MAIN(StreamedSpeechTest)
#include "tst_streamedspeech.moc"
