// Run by hand: build/default/bench/bench_release [runs]   (under xvfb-run)
// The real window with the local service's fixed engines (they answer in
// microseconds), ALSA's file plugin as microphone and loudspeaker: the time
// from the release of the microphone button to the first loud rendered
// sample, the old way (the recording sent whole after the release, Nagle's
// algorithm on, the reply played once all there) and the new way (streamed
// while spoken, TCP_NODELAY, the reply played as it arrives), interleaved in
// one run. Of it, 250 ms is the deliberate tail of every recording.
#include "eventwait.h"
#include "fifomicrophone.h"
#include "renderwatch.h"
#include "speedpath.h"
#include "startup.h"
#include "tts.h"

#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 6;
    QTemporaryDir folder;
    const QString renderFile = folder.filePath(QStringLiteral("rendered.raw"));
    qputenv("XDG_CONFIG_HOME", folder.filePath(QStringLiteral("config")).toLocal8Bit());
    qputenv("TOLKA_RENDER_FILE", renderFile.toLocal8Bit());
    QFile speech(QStringLiteral(TOLKA_TEST_DATA "/speech/sentence.raw"));
    if (!speech.open(QIODevice::ReadOnly))
        return 1;
    const QByteArray sentence = speech.readAll();
    FifoMicrophone microphone(folder.filePath(QStringLiteral("microphone.fifo")));
    if (!microphone.start())
        return 1;
    qputenv("TOLKA_MIC_FILE", QFile::encodeName(microphone.path()));
    qputenv("ALSA_CONFIG_PATH", QByteArray("/usr/share/alsa/alsa.conf:" TOLKA_FILE_DEVICES));

    // The service in a process of its own, as the application meets it:
    // sharing this thread, it would wait for each frame the window draws.
    QProcess service;
    service.start(QStringLiteral(TOLKA_LOCALSERVICE),
                  {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--quiet")});
    QString origin;
    QString caFile;
    if (!runUntil(
            [&] {
                while (service.canReadLine()) {
                    const QString line = QString::fromUtf8(service.readLine()).trimmed();
                    if (line.startsWith(QLatin1String("CA certificate: ")))
                        caFile = line.mid(16);
                    if (line.startsWith(QLatin1String("listening on ")))
                        origin = line.mid(13);
                }
                return !origin.isEmpty();
            },
            20000)) {
        std::fprintf(stderr, "bench_release: the local service did not start\n");
        return 1;
    }
    qputenv("TOLKA_CLOUD_ORIGIN", origin.toUtf8());
    qputenv("TOLKA_CLOUD_CA_FILE", caFile.toUtf8());
    tolka::setIdentity(*QCoreApplication::instance());
    tts::configSSL();
    QQmlApplicationEngine engine;
    auto *window = qobject_cast<QQuickWindow *>(tolka::loadMainWindow(engine));
    if (!window)
        return 1;
    window->resize(420, 760);
    window->show();
    if (!QTest::qWaitForWindowExposed(window))
        return 1;
    auto *mic = window->findChild<QQuickItem *>(QStringLiteral("micImage"));
    if (!mic)
        return 1;
    const QPoint centre = mic->mapToScene(QPointF(mic->width() / 2, mic->height() / 2)).toPoint();
    RenderWatch render(renderFile);

    std::vector<double> old;
    std::vector<double> now;
    for (int i = 0; i < 2 * runs; ++i) {
        const bool streamed = i % 2 == 1;
        speedpath::choose(streamed);
        QTest::qWait(300);
        QTest::mousePress(window, Qt::LeftButton, {}, centre);
        auto *timer = window->findChild<QQuickItem *>(QStringLiteral("TimerLabel"));
        if (!runUntil([&] { return timer && timer->isVisible(); }, 10000) &&
            !runUntil(
                [&] {
                    timer = window->findChild<QQuickItem *>(QStringLiteral("TimerLabel"));
                    return timer && timer->isVisible();
                },
                10000)) {
            std::printf("run %d: the recording did not start\n", i);
            continue;
        }
        microphone.speak(sentence);
        if (!runUntil([&] { return microphone.speechEnded().has_value(); }, 20000))
            std::printf("run %d: the speech did not end\n", i);
        render.mark();
        const auto released = RenderWatch::Clock::now();
        QTest::mouseRelease(window, Qt::LeftButton, {}, centre);
        if (!runUntil([&] { return render.firstLoud().has_value(); }, 15000)) {
            std::printf("run %d (%s): no sound\n", i, streamed ? "new" : "old");
            continue;
        }
        const double ms = std::chrono::duration<double, std::milli>(*render.firstLoud() - released).count();
        (streamed ? now : old).push_back(ms);
        QTest::qWait(600); // the reply plays out
    }
    std::printf("release to first sound, fixed engines, %zu old and %zu new runs interleaved:\n"
                "  old median %.1f ms (min %.1f), new median %.1f ms (min %.1f); "
                "new minus the 250 ms tail %.1f ms; old/new %.2f\n",
                old.size(), now.size(), speedpath::median(old),
                old.empty() ? 0.0 : *std::ranges::min_element(old), speedpath::median(now),
                now.empty() ? 0.0 : *std::ranges::min_element(now), speedpath::median(now) - 250.0,
                speedpath::median(old) / speedpath::median(now));
    speedpath::choose(true);
    service.terminate();
    if (!service.waitForFinished(5000))
        service.kill();
    return 0;
}
