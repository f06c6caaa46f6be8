#include "recorder.h"

#include "audioinput.h"
#include "capturedevice.h"
#include "messenger.h"

#include <QVariantMap>

int recorder::sampleRate() const
{
    const AudioInput *device = capture::currentDevice();
    return device ? device->sampleRate() : AudioInput::defaultRate;
}

int recorder::channelCount() const
{
    const AudioInput *device = capture::currentDevice();
    return device ? device->channelCount() : AudioInput::defaultChannels;
}

void recorder::startDevice()
{
    AudioInput &device = capture::ensureCaptureDevice();
    if (device.isRunning())
        return;
    capture::attach(this);
    if (device.isInitialised() && device.start())
        return;
    // The recording hears nothing; the interface says why.
    messenger::instance()->forwardMessage(
        QStringLiteral("AUDIOERROR"), QVariantMap{{QStringLiteral("device"), QStringLiteral("microphone")}});
}

void recorder::stopDevice()
{
    if (AudioInput *device = capture::currentDevice(); device && device->isRunning())
        device->stop();
}
