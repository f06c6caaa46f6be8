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
#include <vector>

namespace playback {
namespace {

// Owned through an atomic pointer: the worker thread replaces the device, and
// whatever is left at process exit is destroyed by the exiting thread.
std::atomic<AudioOutput *> device{nullptr};

struct DeviceAtExit
{
    ~DeviceAtExit() { delete device.exchange(nullptr); }
};

// Stops and destroys a device that is no longer current. One whose render
// thread is stuck inside the back end is kept instead, to the end of the
// process: destroying it would pull the device from under that thread. The
// end of a stuck one is not reported: a playback on its successor is
// starting, and its late posts would end that one.
void dispose(AudioOutput *old)
{
    if (!old)
        return;
    if (old->isStuck()) {
        old->setOnFault({});
        old->setOnStopped({});
    }
    old->stop();
    if (!old->isAbandoned()) {
        delete old;
        return;
    }
    static auto *parked = new std::vector<AudioOutput *>;
    parked->push_back(old);
    qCWarning(lcPlayback) << "a sound output whose render thread never returned is left open;"
                          << parked->size() << "so far";
}

void replaceDevice(std::unique_ptr<AudioOutput> next)
{
    static DeviceAtExit atExit;
    dispose(device.exchange(next.release()));
}

BackendFactory &factory()
{
    static BackendFactory make;
    return make;
}

std::chrono::milliseconds &configuredStallTimeout()
{
    static std::chrono::milliseconds timeout = deviceStallTimeout;
    return timeout;
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
    fresh->setStallTimeout(configuredStallTimeout());
    if (!fresh->initialize())
        qCWarning(lcPlayback) << "the render device could not be set up; the next playback tries again";
    fresh->setPullSamples([](std::int16_t *buffer, std::uint64_t frames) {
        if (playbackState::instance().pullSamples(buffer, frames))
            postToTarget([](speaker &s) { s.stopPlayback(); });
    });
    fresh->setOnStopped([] { postToTarget([](speaker &s) { s.playbackFinished(); }); });
    fresh->setOnFault([](DeviceFault fault) {
        qCWarning(lcPlayback).nospace()
            << "the sound output " << (fault == DeviceFault::Stalled ? "took nothing for too long" : "failed")
            << " while playing; it is set up afresh at the next playback";
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

void setStallTimeout(std::chrono::milliseconds timeout)
{
    configuredStallTimeout() = timeout;
}

std::chrono::milliseconds stallTimeout()
{
    return configuredStallTimeout();
}

void setBackendFactory(BackendFactory make)
{
    factory() = std::move(make);
}

} // namespace playback
