// Faults on the way out: a sound output that stops taking samples while a
// reply plays, and replies that are not speech. Over the scripted device; each
// case ends the playback cleanly, tells the interface, and the next playback
// works. Every wait is bounded.
#include "messenger.h"
#include "opuspackets.h"
#include "playerrig.h"
#include "speechdecoder.h"
#include "speechstream.h"

#include <QGuiApplication>
#include <QRandomGenerator>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {
const QString playingTrue = u"ISPLAYING=true"_s;
const QString playingFalse = u"ISPLAYING=false"_s;
const QString audioError = u"AUDIOERROR="_s;
const QString error = u"ERROR="_s;
// Shorter than the device's own default (deviceStallTimeout), so that a stall
// is noticed quickly, with room for a slow (sanitizer) build between steps.
constexpr std::chrono::milliseconds stallTimeout{1500};
constexpr int stallNoticedMs = 10000;

QByteArray tone(int samples)
{
    QByteArray pcm(samples * 2, Qt::Uninitialized);
    auto *s = reinterpret_cast<qint16 *>(pcm.data());
    for (int i = 0; i < samples; ++i)
        s[i] = static_cast<qint16>((i % 96 < 48 ? 1 : -1) * 9000);
    return pcm;
}

bool startsWith(const std::vector<qint16> &all, const std::vector<qint16> &head, std::size_t at)
{
    return all.size() >= at + head.size() && std::equal(head.begin(), head.end(), all.begin() + long(at));
}
} // namespace

class RenderFaultsTest : public QObject
{
    Q_OBJECT
    PlayerRig rig;
    std::uint64_t lastReply = 5000;

    // The reply in pieces of `size` bytes, all handed on at once from the
    // worker thread, as the client hands them on while they arrive.
    void sendPieces(const QByteArray &reply, qsizetype size)
    {
        const std::uint64_t id = ++lastReply;
        rig.onWorker([=] {
            std::uint64_t index = 0;
            for (qsizetype at = 0; at < reply.size(); at += size)
                messenger::instance()->speechPieceReady.fire(
                    SpeechPiece{id, index++, reply.mid(at, size), at + size >= reply.size()});
        });
    }

    void sendWhole(const QByteArray &reply)
    {
        rig.onWorker([=] { messenger::instance()->speechReady.fire(reply); });
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
        rig.onWorker([] { playback::setStallTimeout(stallTimeout); });
    }
    void cleanupTestCase()
    {
        rig.onWorker([] {
            playback::releaseRenderDevice();
            playback::setStallTimeout(deviceStallTimeout);
        });
    }

    // The device stops taking samples (its waits only time out), before the
    // first period or in the middle of the speech: the playback ends within
    // the stall time-out, the interface hears that the output is gone, and
    // the next playback opens it afresh and is heard from its start.
    void aStalledOutputEndsThePlaybackAndTheNextPlays_data()
    {
        QTest::addColumn<int>("periodsBefore");
        QTest::newRow("stalls at once") << 0;
        QTest::newRow("stalls mid-speech") << 3;
    }
    void aStalledOutputEndsThePlaybackAndTheNextPlays()
    {
        QFETCH(int, periodsBefore);
        const QByteArray speech = tone(24000);
        playbackState::instance().replaceSpeech(speech);
        rig.script->addPeriods(480, periodsBefore);
        rig.script->setUnresponsive(true);
        rig.player.play();
        QTRY_COMPARE_WITH_TIMEOUT(rig.window.messages, (QStringList{playingTrue, audioError, playingFalse}),
                                  stallNoticedMs);
        const QVariantMap value = rig.window.values.at(1).toMap();
        QCOMPARE(value.value(u"device"_s).toString(), u"output"_s);
        QCOMPARE(value.value(u"reason"_s).toString(), u"lost"_s);
        QCOMPARE(rig.script->rendered().size(), std::size_t(periodsBefore) * 480);

        rig.script->setUnresponsive(false);
        rig.script->setEndlessPeriods(480);
        rig.player.play();
        QTRY_COMPARE(rig.window.messages.size(), 5);
        QCOMPARE(rig.window.messages.mid(3), (QStringList{playingTrue, playingFalse}));
        QCOMPARE(rig.script->opens(), 2);
        QVERIFY(startsWith(rig.script->rendered(), testdata::samplesOf(speech),
                           std::size_t(periodsBefore) * 480));
    }

    // A device that moves again within the time-out is no stall.
    void aShortHiccupIsNoStall()
    {
        playbackState::instance().replaceSpeech(tone(9600));
        rig.script->addPeriods(480, 2);
        rig.script->setUnresponsive(true);
        rig.player.play();
        QTRY_COMPARE(rig.window.messages, QStringList{playingTrue});
        QTest::qWait(int(stallTimeout.count() / 5));
        rig.script->setEndlessPeriods(480);
        QTRY_COMPARE(rig.window.messages, (QStringList{playingTrue, playingFalse}));
        QCOMPARE(rig.script->opens(), 1);
    }

    // Whole or in pieces, a reply that is mostly not Opus is not heard: the
    // interface hears that the synthesis failed, nothing reaches the device,
    // and the next good reply plays. A rare bad packet is skipped.
    void badRepliesAreRefusedAndTheNextPlays_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("pieceBytes"); // 0: the reply comes whole
        QTest::addColumn<bool>("refused");
        QByteArray random(1 << 20, Qt::Uninitialized);
        QRandomGenerator(7).fillRange(reinterpret_cast<quint32 *>(random.data()), random.size() / 4);
        QByteArray rareBad = testdata::opusPackets(40);
        rareBad.replace(17 * 60, 60, testdata::invalidPacket());
        // Pieces of two packets: the first ones are too few to judge, and
        // must not start the playback.
        for (const int pieces : {0, 1000, 120}) {
            QTest::addRow("1 MB of random bytes, pieces of %d", pieces) << random << pieces << true;
            QTest::addRow("one bad packet in forty, pieces of %d", pieces) << rareBad << pieces << false;
        }
    }
    void badRepliesAreRefusedAndTheNextPlays()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, pieceBytes);
        QFETCH(bool, refused);
        rig.script->setEndlessPeriods(480);
        if (pieceBytes > 0)
            sendPieces(reply, pieceBytes);
        else
            sendWhole(reply);
        if (refused) {
            QTRY_COMPARE(rig.window.messages, QStringList{error});
            rig.settle();
            QCOMPARE(rig.window.messages, QStringList{error});
            const QVariantMap value = rig.window.values.first().toMap();
            QCOMPARE(value.value(u"service"_s).toString(), u"synthesis"_s);
            QCOMPARE(value.value(u"code"_s).toString(), u"undecodable"_s);
            QCOMPARE(rig.deviceStarts(), 0);
            QVERIFY(!playbackState::instance().hasSpeech());
        } else {
            QTRY_COMPARE(rig.window.messages, (QStringList{playingTrue, playingFalse}));
            QCOMPARE(playbackState::instance().speech().size(), 39 * 1920);
        }

        const QByteArray good = rig.reply(10);
        rig.window.messages.clear();
        sendWhole(good);
        QTRY_COMPARE(rig.window.messages, (QStringList{playingTrue, playingFalse}));
        QCOMPARE(playbackState::instance().speech(), decodeOpusPackets(good).value_or(QByteArray()));
    }

    // A reply that turns bad after its start has played: the rest is not
    // heard, the playback stops, and the interface is told.
    void aReplyThatTurnsBadStopsWhilePlaying()
    {
        rig.script->addPeriods(480, 2);
        QByteArray bad;
        for (int i = 0; i < 30; ++i)
            bad += testdata::invalidPacket();
        const QByteArray start = rig.reply(10);
        const std::uint64_t id = ++lastReply;
        rig.onWorker([=] { messenger::instance()->speechPieceReady.fire(SpeechPiece{id, 0, start, false}); });
        QTRY_COMPARE(rig.window.messages, QStringList{playingTrue});
        QVERIFY(rig.script->waitUntilUsedUp(10000));
        rig.onWorker([=] { messenger::instance()->speechPieceReady.fire(SpeechPiece{id, 1, bad, true}); });
        QTRY_COMPARE(rig.window.messages, (QStringList{playingTrue, error, playingFalse}));
        QVERIFY(!playbackState::instance().hasSpeech());
        QCOMPARE(rig.script->rendered().size(), std::size_t(2 * 480));
    }
};

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    RenderFaultsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_renderfaults.moc"
