#include "recorder.h"

#include "audioinput.h"
#include "capturedevice.h"

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
    if (!device.isInitialised())
        return;
    device.start();
}

void recorder::stopDevice()
{
    if (AudioInput *device = capture::currentDevice(); device && device->isRunning())
        device->stop();
}
