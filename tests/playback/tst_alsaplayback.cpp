#include "audiooutput.h"
#include "messagewindow.h"
#include "messenger.h"
#include "onthread.h"
#include "opuspackets.h"
#include "output.h"
#include "playbackstate.h"
#include "renderdevice.h"
#include "speaker.h"

#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

// The real ALSA layer: the test's ALSA configuration makes the default PCM a
// file plugin over the null PCM, so the rendered samples land in a file.
class AlsaPlaybackTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        capture = dir.filePath(u"rendered.raw"_s);
        qputenv("TOLKA_RENDER_FILE", QFile::encodeName(capture));
        window.create();
    }

    void synthesisReplyIsRenderedAtTheSpeechVolume()
    {
        player.init(0.5, 0.5);
        QByteArray reply;
        // Made on the worker thread that decodes it (see PlayerRig::reply).
        runOn(speaker::current().data(), [&reply] { reply = testdata::opusPackets(50); });
        QCOMPARE(reply.size(), 3000);
        messenger::instance()->speechReady.fire(reply);
        QTRY_COMPARE(window.messages, (QStringList{u"ISPLAYING=true"_s, u"ISPLAYING=false"_s}));

        // Closing the device flushes the file.
        runOn(speaker::current().data(), [] { playback::releaseRenderDevice(); });
        QFile file(capture);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const std::vector<qint16> rendered = testdata::samplesOf(file.readAll());

        std::vector<qint16> expected = testdata::samplesOf(playbackState::instance().speech());
        QCOMPARE(expected.size(), std::size_t(50 * 960));
        AudioOutput::applyVolume(expected.data(), expected.size(), 0.5f);
        QVERIFY2(rendered.size() >= expected.size(),
                 qPrintable(u"%1 of %2 samples"_s.arg(rendered.size()).arg(expected.size())));
        QVERIFY(std::equal(expected.begin(), expected.end(), rendered.begin()));
        QVERIFY(std::all_of(rendered.begin() + long(expected.size()), rendered.end(),
                            [](qint16 s) { return s == 0; }));
    }

private:
    QTemporaryDir dir;
    QString capture;
    MessageWindow window;
    output player;
};

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    AlsaPlaybackTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_alsaplayback.moc"
