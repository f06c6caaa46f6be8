#include "speaker.h"

#include "audioerror.h"
#include "audiooutput.h"
#include "messenger.h"
#include "playbacklogging.h"
#include "playbackstate.h"
#include "renderdevice.h"
#include "speechdecoder.h"

#include <QFile>
#include <QString>

#include <algorithm>
#include <cfloat>

// Tags are literals: their text is static, never allocated on the worker
// thread and freed on the GUI thread.
using namespace Qt::StringLiterals;

namespace {
QPointer<speaker> &currentSpeaker()
{
    static QPointer<speaker> current;
    return current;
}
} // namespace

speaker::speaker(double speechVolume, double appVolume)
    : m_hub(messenger::instance()), m_speechVolume(speechVolume), m_appVolume(appVolume)
{
    m_hub->speechReady.connect(this, &speaker::receiveSpeech);

    QFile file(QString::fromLatin1(blipResource));
    if (file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        playbackState::instance().replaceBlip(file.readAll());
    else
        qCWarning(lcPlayback) << "cannot open the prompt sound" << blipResource << file.errorString();
}

QPointer<speaker> speaker::current()
{
    return currentSpeaker();
}

void speaker::makeCurrent(speaker *next)
{
    QPointer<speaker> previous = std::exchange(currentSpeaker(), next);
    if (previous && previous != next)
        previous->deleteLater();
}

void speaker::receiveSpeech(QByteArray reply)
{
    decodeSpeech(reply);
    playSource(false);
}

void speaker::playSource(bool isBip)
{
    m_isSpeech = !isBip;
    playbackState &state = playbackState::instance();
    const QByteArray speech = state.speech();
    const bool playing =
        isBip ? startPlayback(state.blip(), m_appVolume) : startPlayback(speech, m_speechVolume);
    if (playing && !speech.isEmpty())
        send(u"ISPLAYING"_s, m_isSpeech);
}

bool speaker::startPlayback(const QByteArray &source, double volume)
{
    playbackState &state = playbackState::instance();
    std::unique_lock locker(state.lock());
    if (source.isEmpty()) {
        locker.unlock();
        playbackFinished();
        return true;
    }
    AudioOutput &device = playback::ensureRenderDevice(this);
    state.setSourceLocked(source);
    // A running device picks the new block up at its next period, at the
    // volume it was started with.
    if (device.isRunning() && !device.isStalled())
        return true;
    if (device.isStalled())
        qCInfo(lcPlayback) << "the render thread had stopped on its own; restarting the device";
    // Not above 0 (NaN included) is silence; the clamp keeps the float
    // conversion defined for any value QML may pass.
    device.setVolume(volume > 0 ? static_cast<float>(std::min(volume, double(FLT_MAX))) : 0.0f);
    if (device.isInitialised() && device.start())
        return true;
    // Nothing will play: the interface hears why, and the playback ends at
    // once (so that a prompt that cannot sound still lets the recording start).
    qCWarning(lcPlayback) << "the render device did not start";
    state.setSourceLocked({});
    locker.unlock();
    reportOutput(device.fault());
    playbackFinished();
    return false;
}

void speaker::reportOutput(DeviceFault fault)
{
    m_hub->forwardMessage(u"AUDIOERROR"_s, audioErrorValue(u"output"_s, fault));
}

void speaker::deviceFailed(DeviceFault fault)
{
    {
        playbackState &state = playbackState::instance();
        std::lock_guard locker(state.lock());
        state.setSourceLocked({});
    }
    // The stop joins the ended render thread and reports the end of the
    // playback as any stop does.
    stopPlayback();
    reportOutput(fault);
}

void speaker::stopPlayback()
{
    AudioOutput *device = playback::currentDevice();
    if (device && device->isRunning())
        device->stop();
}

void speaker::playbackFinished()
{
    if (m_isSpeech)
        send(u"ISPLAYING"_s, false);
    else
        send(u"ISBIP"_s, true);
}

void speaker::send(const QString &tag, bool value)
{
    qCDebug(lcPlayback) << tag << value;
    m_hub->forwardMessage(tag, value);
}
