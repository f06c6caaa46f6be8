#include "recorder.h"

#include "audioerror.h"
#include "audioinput.h"
#include "capturedevice.h"
#include "messenger.h"

#include <QVariantMap>

namespace {
// AUDIOERROR for the microphone, with the reason when there is one to give.
void reportMicrophone(DeviceFault fault)
{
    messenger::instance()->forwardMessage(QStringLiteral("AUDIOERROR"),
                                          audioErrorValue(QStringLiteral("microphone"), fault));
}
} // namespace

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
    reportMicrophone(device.fault());
}

void recorder::deviceFailed(DeviceFault fault)
{
    reportMicrophone(fault);
}

void recorder::stopDevice()
{
    if (AudioInput *device = capture::currentDevice(); device && device->isRunning())
        device->stop();
}
