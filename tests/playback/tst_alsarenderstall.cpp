// A real ALSA sound output that stops taking samples, without sound hardware:
// the default PCM is ALSA's file plugin writing into a FIFO that the test
// reads like a loudspeaker. When the reader stops, the plugin's write()
// blocks and the render thread with it; the playback must still end within
// the stall time-out and tell the window, and the next reply must play once
// the reader is back.
#include "audiooutput.h"
#include "messagewindow.h"
#include "messenger.h"
#include "onthread.h"
#include "opuspackets.h"
#include "output.h"
#include "renderdevice.h"
#include "speaker.h"

#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {
constexpr std::chrono::milliseconds stallTimeout{600};
constexpr int boundMs = 20000;

// Reads the FIFO at about the pace of a real device (10 ms of 48 kHz mono
// S16 at a time) unless paused, keeping it open throughout.
class FifoLoudspeaker
{
public:
    explicit FifoLoudspeaker(QString path) : m_path(std::move(path)) {}
    ~FifoLoudspeaker()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_fd >= 0)
            ::close(m_fd);
    }

    bool start()
    {
        const QByteArray name = QFile::encodeName(m_path);
        if (::mkfifo(name.constData(), 0600) != 0)
            return false;
        // Non-blocking: opened before any writer, and never waits in read().
        m_fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK);
        if (m_fd < 0)
            return false;
        m_thread = std::thread([this] {
            char block[960];
            while (!m_stop) {
                if (!m_paused) {
                    const ssize_t got = ::read(m_fd, block, sizeof block);
                    if (got > 0)
                        m_read += got;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        });
        return true;
    }

    void setPaused(bool paused) { m_paused = paused; }
    [[nodiscard]] qint64 bytesRead() const { return m_read; }

private:
    QString m_path;
    int m_fd = -1;
    std::thread m_thread;
    std::atomic<bool> m_stop = false;
    std::atomic<bool> m_paused = false;
    std::atomic<qint64> m_read = 0;
};
} // namespace

class AlsaRenderStallTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY2(qEnvironmentVariable("ALSA_CONFIG_PATH").endsWith(QLatin1String("file-devices.conf")),
                 "run through ctest, which points ALSA at the test configuration");
        QVERIFY(folder.isValid());
        QVERIFY(loudspeaker.start());
        qputenv("TOLKA_RENDER_FILE", QFile::encodeName(folder.filePath(u"loudspeaker"_s)));
        window.create();
        player.init(1.0, 0.5);
        onWorker([] { playback::setStallTimeout(stallTimeout); });
    }
    void cleanupTestCase()
    {
        onWorker([] {
            playback::releaseRenderDevice();
            playback::setStallTimeout(deviceStallTimeout);
        });
    }

    void anOutputThatStopsTakingEndsThePlayback()
    {
        QByteArray reply;
        onWorker([&reply] { reply = testdata::opusPackets(250); });
        onWorker([reply] { messenger::instance()->speechReady.fire(reply); });
        QTRY_COMPARE_WITH_TIMEOUT(window.messages, QStringList{u"ISPLAYING=true"_s}, boundMs);
        QTRY_VERIFY_WITH_TIMEOUT(loudspeaker.bytesRead() > 9600, boundMs);

        AudioOutput *stuck = nullptr;
        onWorker([&stuck] { stuck = playback::currentDevice(); });
        QVERIFY(stuck);

        // The loudspeaker stops taking; the pipe fills and write() blocks.
        // The speaker notices within the stall time-out and stops the
        // device (bounded however long write() blocks), with no press.
        loudspeaker.setPaused(true);
        QTRY_COMPARE_WITH_TIMEOUT(window.messages,
                                  (QStringList{u"ISPLAYING=true"_s, u"AUDIOERROR="_s, u"ISPLAYING=false"_s}),
                                  boundMs);
        QCOMPARE(window.values.at(1).toMap().value(u"reason"_s).toString(), u"lost"_s);
        bool abandoned = false;
        onWorker([&abandoned, stuck] { abandoned = stuck->isAbandoned(); });
        QVERIFY(abandoned);

        // The loudspeaker takes again: the next reply plays on a fresh device.
        loudspeaker.setPaused(false);
        window.messages.clear();
        QByteArray next;
        onWorker([&next] { next = testdata::opusPackets(10); });
        onWorker([next] { messenger::instance()->speechReady.fire(next); });
        QTRY_COMPARE_WITH_TIMEOUT(window.messages, (QStringList{u"ISPLAYING=true"_s, u"ISPLAYING=false"_s}),
                                  boundMs);
        AudioOutput *fresh = nullptr;
        onWorker([&fresh] { fresh = playback::currentDevice(); });
        QVERIFY(fresh && fresh != stuck);
    }

private:
    template <typename F> void onWorker(F work) { runOn(speaker::current().data(), work); }

    QTemporaryDir folder;
    FifoLoudspeaker loudspeaker{folder.filePath(u"loudspeaker"_s)};
    MessageWindow window;
    output player;
};

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    AlsaRenderStallTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_alsarenderstall.moc"
