#include "playerrig.h"

#include <QFile>
#include <QGuiApplication>
#include <QTest>

using namespace Qt::StringLiterals;

// Built without the prompt sound resource.
class MissingBlipTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(!QFile::exists(u":/blip.pcm"_s));
        rig.window.create();
        rig.initOnce();
    }
    void init() { rig.reset(); }
    void cleanupTestCase()
    {
        rig.onWorker([] { playback::releaseRenderDevice(); });
    }

    void bipReportsItsEndAtOnce()
    {
        rig.player.bip();
        QTRY_COMPARE(rig.window.messages, QStringList{u"ISBIP=true"_s});
        rig.settle();
        QCOMPARE(rig.window.messages, QStringList{u"ISBIP=true"_s});
        QCOMPARE(rig.deviceStarts(), 0);
    }

    void bipWithSpeechPresent()
    {
        playbackState::instance().replaceSpeech(QByteArray(960, '\1'));
        rig.player.bip();
        QTRY_COMPARE(rig.window.messages, (QStringList{u"ISBIP=true"_s, u"ISPLAYING=false"_s}));
        QCOMPARE(rig.deviceStarts(), 0);
    }

private:
    PlayerRig rig;
};

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    MissingBlipTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_missingblip.moc"
