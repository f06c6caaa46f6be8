#pragma once

#include "devicefault.h"

#include <QObject>
#include <QTimer>

// The capture-and-encode interface the capture device feeds. Lives on the
// shared worker thread; every operation runs there.
class recorder : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // The capture device's format: 48000 Hz, one channel.
    [[nodiscard]] virtual int sampleRate() const;
    [[nodiscard]] virtual int channelCount() const;
    // Feeds captured 16-bit mono samples.
    virtual void pushSamples(const qint16 *samples, qint64 count) = 0;
    // Makes sure the capture device exists, runs and feeds this object.
    virtual void startDevice();
    // Closes the stream and hands it on.
    virtual void finishStream() = 0;

    // Stops the capture device if it runs; it then posts finishStream to the
    // recorder it feeds.
    void stopDevice();
    // The device failed for good while recording: the interface is told why
    // (the stream is finished by the device's own end of the run).
    void deviceFailed(DeviceFault fault);

private:
    // While the device records: a capture thread stuck inside the back end
    // is noticed without waiting for the release, which it then is given.
    void watchDevice();

    QTimer m_deviceWatch{this};
};
