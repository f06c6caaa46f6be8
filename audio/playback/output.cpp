#include "output.h"

#include "playbacklogging.h"
#include "renderdevice.h"
#include "speaker.h"
#include "workerthread.h"

#include <QThread>

#include <utility>

namespace {
// Queues `work` on the current speaker's thread; dropped when there is none
// or it is destroyed before the call runs.
template <typename F> void post(const char *what, F work)
{
    const QPointer<speaker> target = speaker::current();
    if (!target) {
        qCWarning(lcPlayback) << what << "ignored: the player is not initialised";
        return;
    }
    speaker *s = target.data();
    QMetaObject::invokeMethod(s, [s, work] { work(*s); }, Qt::QueuedConnection);
}
} // namespace

void output::init(double voiceVolume, double appVolume)
{
    m_worker = workerThread();
    static bool releasesAtFinish = false;
    if (!std::exchange(releasesAtFinish, true)) {
        // Close the device on the thread that opened it when the worker ends
        // (the application is quitting), not during static destruction.
        QObject::connect(
            m_worker.get(), &QThread::finished, m_worker.get(), [] { playback::releaseRenderDevice(); },
            Qt::DirectConnection);
    }
    auto *fresh = new speaker(voiceVolume, appVolume);
    speaker::makeCurrent(fresh);
    fresh->moveToThread(m_worker.get());
    // Set the device up now rather than at the first sound.
    QMetaObject::invokeMethod(fresh, [fresh] { playback::ensureRenderDevice(fresh); }, Qt::QueuedConnection);
}

void output::setSpeechVolume(double volume) const
{
    post("setSpeechVolume", [volume](speaker &s) { s.setSpeechVolume(volume); });
}

void output::setAppVolume(double volume) const
{
    post("setAppVolume", [volume](speaker &s) { s.setAppVolume(volume); });
}

void output::stop() const
{
    post("stop", [](speaker &s) { s.stopPlayback(); });
}

void output::play() const
{
    post("play", [](speaker &s) { s.playSource(false); });
}

void output::bip() const
{
    post("bip", [](speaker &s) { s.playSource(true); });
}
