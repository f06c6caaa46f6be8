#include "renderdevice.h"

#include "audiooutput.h"
#include "playbacklogging.h"
#include "playbackstate.h"
#include "renderbackend.h"
#include "speaker.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>

#include <atomic>

namespace playback {
namespace {

// Owned through an atomic pointer: the worker thread replaces the device, and
// whatever is left at process exit is destroyed by the exiting thread.
std::atomic<AudioOutput *> device{nullptr};

struct DeviceAtExit
{
    ~DeviceAtExit() { delete device.exchange(nullptr); }
};

void replaceDevice(std::unique_ptr<AudioOutput> next)
{
    static DeviceAtExit atExit;
    delete device.exchange(next.release());
}

BackendFactory &factory()
{
    static BackendFactory make;
    return make;
}

// Read and written on the worker thread only, where speakers also die.
QPointer<speaker> &target()
{
    static QPointer<speaker> current;
    return current;
}

// The render thread posts through this object, which lives on the worker
// thread and is never destroyed: checking a speaker's guard from the render
// thread would race with its destruction on the worker thread.
std::atomic<QObject *> relayObject{nullptr};

// Runs `call` on the current speaker, on the worker thread.
template <typename Call> void postToTarget(Call call)
{
    QObject *relay = relayObject.load();
    if (!relay || !QCoreApplication::instance())
        return;
    QMetaObject::invokeMethod(
        relay,
        [call] {
            if (speaker *s = target().data())
                call(*s);
        },
        Qt::QueuedConnection);
}

void makeRelay()
{
    if (relayObject.load())
        return;
    // Created on the worker thread, so it lives there; intentionally kept to
    // process exit, when a late post from a stopping device may still use it.
    static QObject *relay = new QObject;
    relayObject.store(relay);
}

} // namespace

AudioOutput &ensureRenderDevice(speaker *target_)
{
    makeRelay();
    target() = target_;
    // A device that failed for good, or that is no longer the system's
    // default output, is replaced (never while it plays).
    if (AudioOutput *current = device.load(); current && current->isUsable())
        return *current;

    auto fresh = std::make_unique<AudioOutput>(factory() ? factory()() : makePlatformRenderBackend());
    if (!fresh->initialize())
        qCWarning(lcPlayback) << "the render device could not be set up; the next playback tries again";
    fresh->setPullSamples([](std::int16_t *buffer, std::uint64_t frames) {
        if (playbackState::instance().pullSamples(buffer, frames))
            postToTarget([](speaker &s) { s.stopPlayback(); });
    });
    fresh->setOnStopped([] { postToTarget([](speaker &s) { s.playbackFinished(); }); });
    fresh->setOnFault([](DeviceFault fault) {
        qCWarning(lcPlayback)
            << "the sound output failed while playing; it is set up afresh at the next playback";
        postToTarget([fault](speaker &s) { s.deviceFailed(fault); });
    });
    AudioOutput &made = *fresh;
    // The previous instance failed to set up or failed for good; its render
    // thread, if any, has ended and is joined as it goes.
    replaceDevice(std::move(fresh));
    return made;
}

AudioOutput *currentDevice()
{
    return device.load();
}

void releaseRenderDevice()
{
    replaceDevice(nullptr);
}

void setBackendFactory(BackendFactory make)
{
    factory() = std::move(make);
}

} // namespace playback
