// A storm of presses on the real window's microphone button: press and
// release at random (seeded) intervals of 0 to 300 ms, with the real native
// objects, the local service over TLS and ALSA's file plugin as microphone
// and loudspeaker. Afterwards the window must still record, recognise and
// translate; no recording may be left open; every recording must have
// reached the service and every request its answer in the window; and QML
// must not have warned.
//
// Sizes from the environment: TOLKA_SOAK_PRESSES (default 100),
// TOLKA_SOAK_SEED (default random, printed).
#include "cloudfixture.h"
#include "fifomicrophone.h"
#include "processfigures.h"

#include "audioinput.h"
#include "capturedevice.h"
#include "messenger.h"
#include "startup.h"
#include "tts.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtEndian>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int longestWaitMs = 300; // of a hold and of the pause after it
constexpr int holdMs = 120;        // the button's press-and-hold interval
// Holds this much shorter or longer than the interval are sure to be
// told apart by the window (its timer may be a few per cent early).
constexpr int surelyShortMs = holdMs - 10;
constexpr int surelyLongMs = holdMs + 30;
// Recordings with less audio than this are "not recognised" by the service.
constexpr qint64 shortestRecognisedSamples = 48 * 340;
constexpr int settleMs = 30000;
// From the first tenth of the storm on, when connections and devices are
// open: a connection or a recording in flight more or less, a pool worker
// started or retired. Memory is shown, not judged: the local service runs in
// this process and logs every request by design.
constexpr int fdSlack = 4;
constexpr int threadSlack = 3;

// Recognises every recording long enough as "Hello world." and nothing in
// the shorter ones, so that both answers reach the window in the storm.
class LengthRecognition final : public RecognitionEngine
{
public:
    EngineResult<Recognised> recognize(const QByteArray &oggOpus, const QString &, QDeadlineTimer) override
    {
        constexpr qsizetype pageHeader = 27;
        constexpr qsizetype granuleAt = 6;
        const qsizetype last = oggOpus.lastIndexOf("OggS");
        const qint64 samples = last >= 0 && oggOpus.size() - last >= pageHeader
                                   ? qFromLittleEndian<qint64>(oggOpus.constData() + last + granuleAt)
                                   : 0;
        if (samples < shortestRecognisedSamples)
            return Recognised{};
        return Recognised{QStringLiteral("Hello world."), 0, 0};
    }
};

// Stands first among the top-level windows, so that the hub hands it every
// message meant for the main window: it counts and times them, then passes
// them on unchanged, in the same order and on the same thread.
class MessageTap : public QWindow
{
    Q_OBJECT
public:
    Q_INVOKABLE void forwardMessage(const QString &tag, const QVariant &value)
    {
        if (tag == QLatin1String("RECORDINGSTARTED"))
            starts.push_back(clock.elapsed());
        else if (tag == QLatin1String("SPEECH"))
            ++recognised;
        else if (tag == QLatin1String("ERROR") &&
                 value.toMap().value(QStringLiteral("failure")) == QLatin1String("nothingRecognised"))
            ++nothingHeard;
        else if (tag == QLatin1String("ERROR") || tag == QLatin1String("WARNING") ||
                 tag == QLatin1String("AUDIOERROR"))
            failures.append(tag + QLatin1Char(' ') +
                            QString::fromUtf8(QJsonDocument(QJsonObject::fromVariantMap(value.toMap()))
                                                  .toJson(QJsonDocument::Compact)));
        if (target)
            QMetaObject::invokeMethod(target, "forwardMessage", Q_ARG(QString, tag), Q_ARG(QVariant, value));
    }

    QWindow *target = nullptr;
    QElapsedTimer clock;
    std::vector<qint64> starts; // when each recording started, ms on clock
    qint64 recognised = 0;
    qint64 nothingHeard = 0;
    QStringList failures;
};

// Counts the recordings the encoder finishes, as the cloud client gets them.
class RecordingCount : public QObject
{
    Q_OBJECT
public:
    void take(QByteArray) { ++finished; }
    qint64 finished = 0;
};

struct Press
{
    qint64 down = 0; // ms on the tap's clock
    qint64 up = 0;
    bool started = false;
};

QStringList &qmlWarnings()
{
    static QStringList lines;
    return lines;
}

QtMessageHandler previousHandler = nullptr;

void watchMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const QString file = QString::fromUtf8(context.file ? context.file : "");
    const bool fromQml =
        file.endsWith(QLatin1String(".qml")) || file.endsWith(QLatin1String(".js")) ||
        message.contains(QLatin1String("qrc:/")) ||
        QLatin1String(context.category ? context.category : "").startsWith(QLatin1String("qt.qml"));
    if (type != QtDebugMsg && type != QtInfoMsg && fromQml)
        qmlWarnings().append(message);
    if (previousHandler)
        previousHandler(type, context, message);
}

// Runs the event loop for ms milliseconds, to the millisecond.
void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

class PressStorm : public QObject
{
    Q_OBJECT
    MessageTap tap; // made before the main window, so that it comes first
    QTemporaryDir folder;
    FifoMicrophone microphone{folder.filePath(QStringLiteral("microphone.fifo"))};
    CloudFixture fixture;
    RecordingCount recordings;
    QQmlApplicationEngine engine;
    QQuickWindow *window = nullptr;
    QPoint centre;

    QQuickItem *item(const char *name) const
    {
        return window->findChild<QQuickItem *>(QString::fromLatin1(name));
    }

    // Recognition requests the service answered. A recording's streamed
    // upload that the client gives up (its recording was not the one
    // streamed) is logged unanswered, and stands for no recording.
    [[nodiscard]] qsizetype answeredRecognitions()
    {
        qsizetype n = 0;
        for (const LoggedRequest &entry : fixture.service().log().entries(Operation::Recognition))
            n += entry.status != 0 ? 1 : 0;
        return n;
    }

    // Until no request has come for a second and every recording has had
    // its answer in the window.
    bool settle()
    {
        QElapsedTimer waited;
        waited.start();
        qsizetype seen = -1;
        QElapsedTimer quiet;
        quiet.start();
        while (!waited.hasExpired(settleMs)) {
            runFor(100);
            const qsizetype now = fixture.service().log().entries().size();
            if (now != seen) {
                seen = now;
                quiet.restart();
            }
            const qsizetype heard = answeredRecognitions();
            if (quiet.hasExpired(1000) && tap.recognised + tap.nothingHeard + tap.failures.size() >= heard &&
                recordings.finished == heard)
                return true;
        }
        return false;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(folder.isValid());
        qputenv("XDG_CONFIG_HOME", folder.filePath(QStringLiteral("config")).toLocal8Bit());
        qputenv("XDG_DATA_HOME", folder.filePath(QStringLiteral("data")).toLocal8Bit());
        qputenv("XDG_CACHE_HOME", folder.filePath(QStringLiteral("cache")).toLocal8Bit());
        qputenv("TOLKA_RENDER_FILE", folder.filePath(QStringLiteral("rendered.raw")).toLocal8Bit());
        QVERIFY(microphone.start());
        qputenv("TOLKA_MIC_FILE", QFile::encodeName(microphone.path()));
        qputenv("ALSA_CONFIG_PATH", QByteArray("/usr/share/alsa/alsa.conf:" TOLKA_FILE_DEVICES));
        previousHandler = qInstallMessageHandler(watchMessage);

        QString error;
        QVERIFY2(fixture.startService(&error), qPrintable(error));
        fixture.service().log().setEcho(false);
        fixture.service().setRecognitionEngine(std::make_shared<LengthRecognition>());
        qputenv("TOLKA_CLOUD_ORIGIN", fixture.service().origin().toUtf8());
        qputenv("TOLKA_CLOUD_CA_FILE", fixture.caPath().toUtf8());
        // Before anything can record: the hub's connections are made once.
        messenger::instance()->recordingReady.connect(&recordings, &RecordingCount::take);

        tap.clock.start();
        tolka::setIdentity(*QCoreApplication::instance());
        tts::configSSL();
        window = qobject_cast<QQuickWindow *>(tolka::loadMainWindow(engine));
        QVERIFY(window);
        tap.target = window;
        QVERIFY2(QGuiApplication::topLevelWindows().constFirst() == &tap, "the tap must come first");
        window->resize(420, 760);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QQuickItem *mic = item("micImage");
        QVERIFY(mic);
        centre = mic->mapToScene(QPointF(mic->width() / 2, mic->height() / 2)).toPoint();
    }

    void stormOfPresses()
    {
        const qint64 count = soakSize("TOLKA_SOAK_PRESSES", 100);
        const quint32 seed =
            quint32(soakSize("TOLKA_SOAK_SEED", QRandomGenerator::global()->bounded(1u << 30)));
        std::printf("press storm: %lld presses, seed %u\n", qlonglong(count), seed);
        std::fflush(stdout);
        // The prompt sound alone lasts longer than the longest hold: with it
        // no press of the storm would ever record.
        window->setProperty("hasBip", false);
        QRandomGenerator random(seed);
        std::vector<Press> presses;
        presses.reserve(size_t(count));
        QList<ProcessFigures> samples;
        constexpr qint64 sampleRows = 10;
        const qint64 sampleEvery = std::max<qint64>(1, count / sampleRows);
        QElapsedTimer clock;
        clock.start();
        samples.append(ProcessFigures::sample(QStringLiteral("start"), 0, 0));
        for (qint64 i = 0; i < count; ++i) {
            // A row every tenth of the run: the first presses warm caches
            // up, and what grows after them shows as a trend.
            if (i > 0 && i % sampleEvery == 0)
                samples.append(ProcessFigures::sample(QStringLiteral("%1 %").arg(100 * i / count), i,
                                                      double(clock.elapsed()) / 1000));
            Press press;
            const size_t startsBefore = tap.starts.size();
            press.down = tap.clock.elapsed();
            QTest::mousePress(window, Qt::LeftButton, {}, centre);
            runFor(int(random.bounded(longestWaitMs + 1)));
            press.up = tap.clock.elapsed();
            QTest::mouseRelease(window, Qt::LeftButton, {}, centre);
            press.started = tap.starts.size() > startsBefore;
            QVERIFY2(tap.starts.size() <= startsBefore + 1,
                     qPrintable(QStringLiteral("press %1 started twice").arg(i)));
            presses.push_back(press);
            runFor(int(random.bounded(longestWaitMs + 1)));
        }
        const bool settled = settle();
        samples.append(ProcessFigures::sample(QStringLiteral("end"), count, double(clock.elapsed()) / 1000));

        qint64 shortStarted = 0;
        qint64 longMissed = 0;
        qint64 started = 0;
        for (const Press &p : presses) {
            const qint64 held = p.up - p.down;
            started += p.started ? 1 : 0;
            if (held < surelyShortMs && p.started)
                ++shortStarted;
            if (held > surelyLongMs && !p.started)
                ++longMissed;
        }
        const qsizetype heard = answeredRecognitions();
        const qsizetype givenUp = fixture.service().log().entries(Operation::Recognition).size() - heard;
        const qsizetype translated = fixture.service().log().entries(Operation::Translation).size();
        const qsizetype spoken = fixture.service().log().entries(Operation::Synthesis).size();
        std::printf("  presses %lld, recordings started %lld (short holds that started: %lld, long holds "
                    "that did not: %lld)\n"
                    "  recordings finished %lld\n"
                    "  recognition requests answered %lld (recognised %lld, nothing recognised %lld), "
                    "streamed uploads given up %lld\n"
                    "  translation requests %lld, synthesis requests %lld; other failures told %lld\n",
                    qlonglong(count), qlonglong(started), qlonglong(shortStarted), qlonglong(longMissed),
                    qlonglong(recordings.finished), qlonglong(heard), qlonglong(tap.recognised),
                    qlonglong(tap.nothingHeard), qlonglong(givenUp), qlonglong(translated), qlonglong(spoken),
                    qlonglong(tap.failures.size()));
        std::printf("%s  duration %.1f s\n", qPrintable(figureTable(samples)),
                    double(clock.elapsed()) / 1000);
        for (const LoggedRequest &entry : fixture.service().log().entries())
            if (entry.status < 200 || entry.status > 299)
                std::printf("  answered %d: %s %s, %lld bytes%s\n", entry.status, qPrintable(entry.path),
                            qPrintable(entry.query), qlonglong(entry.bodyLength),
                            entry.streamed ? ", streamed" : "");
        for (const QString &failure : std::as_const(tap.failures))
            std::printf("  told: %s\n", qPrintable(failure));
        std::fflush(stdout);

        QVERIFY2(settled, "the window did not settle after the storm");

        QCOMPARE(shortStarted, 0);
        QCOMPARE(longMissed, 0);
        // Every recording started was finished, even one whose successor
        // began during its tail; each reached the service, and each
        // request's answer reached the window.
        QCOMPARE(recordings.finished, started);
        QCOMPARE(qint64(heard), recordings.finished);
        QVERIFY2(tap.failures.isEmpty(), qPrintable(tap.failures.join(u'\n')));
        QCOMPARE(tap.recognised + tap.nothingHeard, qint64(heard));
        // Nothing left open: the device stopped, the countdown hidden.
        const AudioInput *device = capture::currentDevice();
        QVERIFY(!device || !device->isRunning());
        QVERIFY(!item("micArea")->property("isPressed").toBool());
        QVERIFY(!item("TimerLabel") || !item("TimerLabel")->isVisible());
        FigureLimits limits;
        limits.checkRss = false;
        limits.fdSlack = fdSlack;
        limits.threadSlack = threadSlack;
        const QString problems = figureProblems(samples.sliced(1), limits);
        QVERIFY2(problems.isEmpty(), qPrintable(problems));
    }

    // The window still works as it should after the storm, prompt sound and all.
    void aNormalPressIsRecognisedAfterwards()
    {
        window->setProperty("hasBip", true);
        QFile speech(QStringLiteral(TOLKA_TEST_DATA "/speech/sentence.raw"));
        QVERIFY(speech.open(QIODevice::ReadOnly));
        QQuickItem *source = window->property("textToTranslateField").value<QQuickItem *>();
        QVERIFY(source);
        QMetaObject::invokeMethod(source, "clear");
        fixture.service().log().clear();
        const qint64 recognisedBefore = tap.recognised;
        QTest::mousePress(window, Qt::LeftButton, {}, centre);
        QTRY_VERIFY_WITH_TIMEOUT(item("TimerLabel") && item("TimerLabel")->isVisible(), 10000);
        microphone.speak(speech.readAll());
        runFor(1500);
        QTest::mouseRelease(window, Qt::LeftButton, {}, centre);
        QTRY_COMPARE_WITH_TIMEOUT(source->property("text").toString(), QStringLiteral("Hello world."), 15000);
        QCOMPARE(tap.recognised, recognisedBefore + 1);
        QCOMPARE(fixture.service().log().entries(Operation::Recognition).size(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(fixture.service().log().entries(Operation::Synthesis).size(), 1, 15000);
        QVERIFY2(qmlWarnings().isEmpty(), qPrintable(qmlWarnings().join(u'\n')));
    }

    void cleanupTestCase()
    {
        microphone.stop();
        if (window)
            window->hide();
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        qInstallMessageHandler(previousHandler);
    }
};

QTEST_MAIN(PressStorm)
#include "tst_pressstorm.moc"
