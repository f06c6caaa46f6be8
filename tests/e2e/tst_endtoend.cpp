// The whole application in one process: the real main window with the real
// native objects, the local service over TLS, and ALSA's file plugin as
// microphone and loudspeaker. Typing and speaking are done with real key and
// mouse events on the window.
#include "cloudfixture.h"
#include "startup.h"
#include "tts.h"

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <chrono>
#include <csignal>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QQuickItem *item(QQuickWindow *window, const char *name)
{
    return window->findChild<QQuickItem *>(QString::fromLatin1(name));
}

// Loud samples in a raw S16LE file: nonzero means something was rendered.
qsizetype loudSamples(const QString &path, qsizetype from = 0)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray bytes = file.readAll();
    const auto *samples = reinterpret_cast<const qint16 *>(bytes.constData());
    qsizetype loud = 0;
    for (qsizetype i = from / 2; i < bytes.size() / 2; ++i)
        if (std::abs(samples[i]) > 1000)
            ++loud;
    return loud;
}

// The "microphone": a FIFO that the ALSA file plugin reads from, fed in
// real time (10 ms blocks) with the spoken sentence and then silence, so that
// capture runs at the pace of a real device.
class Microphone
{
public:
    explicit Microphone(QString path) : m_path(std::move(path)) {}
    ~Microphone() { stop(); }

    bool start(const QString &speechFile)
    {
        QFile speech(speechFile);
        if (!speech.open(QIODevice::ReadOnly) || ::mkfifo(QFile::encodeName(m_path).constData(), 0600) != 0)
            return false;
        m_speech = speech.readAll();
        m_thread = std::thread([this] { feed(); });
        return true;
    }

    void stop()
    {
        if (!m_thread.joinable())
            return;
        m_stop = true;
        // Unblocks a writer still waiting for a reader.
        const int unblock = ::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_NONBLOCK);
        m_thread.join();
        if (unblock >= 0)
            ::close(unblock);
    }

private:
    void feed()
    {
        ::signal(SIGPIPE, SIG_IGN);
        const QByteArray silence(960, '\0');
        while (!m_stop) {
            const int fd = ::open(QFile::encodeName(m_path).constData(), O_WRONLY);
            if (fd < 0)
                return;
            qsizetype offset = 0;
            auto next = std::chrono::steady_clock::now();
            while (!m_stop) {
                const QByteArray block = offset < m_speech.size() ? m_speech.mid(offset, 960) : silence;
                offset += block.size();
                if (::write(fd, block.constData(), size_t(block.size())) < 0)
                    break; // the reader went away: wait for the next one
                next += std::chrono::milliseconds(10);
                std::this_thread::sleep_until(next);
            }
            ::close(fd);
        }
    }

    QString m_path;
    QByteArray m_speech;
    std::thread m_thread;
    std::atomic<bool> m_stop = false;
};

} // namespace

class EndToEndTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(folder.isValid());
        renderFile = folder.filePath(QStringLiteral("rendered.raw"));
        qputenv("XDG_CONFIG_HOME", folder.filePath(QStringLiteral("config")).toLocal8Bit());
        qputenv("TOLKA_RENDER_FILE", renderFile.toLocal8Bit());
        const QString fifo = folder.filePath(QStringLiteral("microphone.fifo"));
        QVERIFY(microphone.start(QStringLiteral(TOLKA_TEST_DATA "/speech/sentence.raw")));
        qputenv("TOLKA_MIC_FILE", QFile::encodeName(fifo));
        qputenv("ALSA_CONFIG_PATH",
                QByteArray("/usr/share/alsa/alsa.conf:" TOLKA_TEST_DATA "/e2e/alsa.conf"));

        QString error;
        QVERIFY2(fixture.startService(&error), qPrintable(error));
        qputenv("TOLKA_CLOUD_ORIGIN", fixture.service().origin().toUtf8());
        qputenv("TOLKA_CLOUD_CA_FILE", fixture.caPath().toUtf8());

        tolka::setIdentity(*QCoreApplication::instance());
        tts::configSSL();
        window = qobject_cast<QQuickWindow *>(tolka::loadMainWindow(engine));
        QVERIFY(window);
        window->resize(420, 760);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        source = window->property("textToTranslateField").value<QQuickItem *>();
        dest = window->property("translatedTextField").value<QQuickItem *>();
        QVERIFY(source && dest);
    }

    void typedSentenceIsTranslatedAndSpoken()
    {
        source->forceActiveFocus();
        for (const char c : QByteArrayLiteral("Good morning, dear friends"))
            QTest::keyClick(window, c);
        QTest::keyClick(window, Qt::Key_Return);
        // The service's translation engine sends the text back unchanged.
        QTRY_COMPARE_WITH_TIMEOUT(dest->property("text").toString(),
                                  QStringLiteral("Good morning, dear friends"), 15000);
        QCOMPARE(fixture.service().log().entries(Operation::Translation).size(), 1);
        // The synthesis reply is decoded and rendered through ALSA.
        QTRY_VERIFY_WITH_TIMEOUT(loudSamples(renderFile) > 0, 15000);
        QCOMPARE(fixture.service().log().entries(Operation::Synthesis).size(), 1);
    }

    void cleanupTestCase() { microphone.stop(); }

    void heldMicrophoneRecordsRecognisesTranslatesAndSpeaks()
    {
        QQuickItem *mic = item(window, "micImage");
        QVERIFY(mic);
        const QPoint centre = mic->mapToScene(QPointF(mic->width() / 2, mic->height() / 2)).toPoint();
        const qsizetype renderedBefore = QFileInfo(renderFile).size();
        QTest::mousePress(window, Qt::LeftButton, {}, centre);
        // The prompt sound plays, then the recording runs while the button is held.
        QTRY_VERIFY_WITH_TIMEOUT(item(window, "TimerLabel") && item(window, "TimerLabel")->isVisible(),
                                 10000);
        QTest::qWait(1500);
        QTest::mouseRelease(window, Qt::LeftButton, {}, centre);

        QTRY_COMPARE_WITH_TIMEOUT(source->property("text").toString(), QStringLiteral("Hello world."), 15000);
        QTRY_COMPARE_WITH_TIMEOUT(dest->property("text").toString(), QStringLiteral("Hello world."), 15000);
        const QList<LoggedRequest> recognitions = fixture.service().log().entries(Operation::Recognition);
        QCOMPARE(recognitions.size(), 1);
        // A recording of about 1.5 s at 24 kbit/s, not an empty stream.
        QVERIFY2(recognitions.constFirst().bodyLength > 2000,
                 qPrintable(QString::number(recognitions.constFirst().bodyLength)));
        QTRY_VERIFY_WITH_TIMEOUT(loudSamples(renderFile, renderedBefore) > 0, 15000);
    }

private:
    QTemporaryDir folder;
    Microphone microphone{folder.filePath(QStringLiteral("microphone.fifo"))};
    QString renderFile;
    CloudFixture fixture;
    QQmlApplicationEngine engine;
    QQuickWindow *window = nullptr;
    QQuickItem *source = nullptr;
    QQuickItem *dest = nullptr;
};

QTEST_MAIN(EndToEndTest)
#include "tst_endtoend.moc"
