#include "recorder.h"

#include "audioerror.h"
#include "audioinput.h"
#include "capturedevice.h"
#include "capturelogging.h"
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
    if (device.isInitialised() && device.start()) {
        if (!m_deviceWatch.isActive()) {
            connect(&m_deviceWatch, &QTimer::timeout, this, &recorder::watchDevice, Qt::UniqueConnection);
            // Checked a few times per stall time-out while it records.
            m_deviceWatch.start(capture::stallTimeout() / 2);
        }
        return;
    }
    // The recording hears nothing; the interface says why.
    reportMicrophone(device.fault());
}

void recorder::deviceFailed(DeviceFault fault)
{
    reportMicrophone(fault);
}

void recorder::watchDevice()
{
    AudioInput *device = capture::currentDevice();
    if (!device || !device->isRunning()) {
        m_deviceWatch.stop();
        return;
    }
    if (!device->isStuck())
        return;
    // The stop abandons the thread; the device's fault and the end of the
    // recording are posted as for any device that fails while recording.
    qCWarning(lcCapture) << "the capture thread has not come back from the microphone; stopping it";
    m_deviceWatch.stop();
    device->stop();
}

void recorder::stopDevice()
{
    if (AudioInput *device = capture::currentDevice(); device && device->isRunning())
        device->stop();
}
