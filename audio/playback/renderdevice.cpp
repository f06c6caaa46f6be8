#include "renderdevice.h"

#include "audiooutput.h"
#include "logging.h"
#include "playbackstate.h"
#include "speaker.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>

#include <atomic>

namespace {

std::unique_ptr<AudioOutput> &device()
{
    static std::unique_ptr<AudioOutput> instance;
    return instance;
}

RenderBackendFactory &factory()
{
    static RenderBackendFactory make;
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

void postToTarget(void (speaker::*method)())
{
    QObject *relay = relayObject.load();
    if (!relay || !QCoreApplication::instance())
        return;
    QMetaObject::invokeMethod(
        relay,
        [method] {
            if (speaker *s = target().data())
                (s->*method)();
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
    std::unique_ptr<AudioOutput> &current = device();
    if (current && current->isInitialised())
        return *current;

    auto fresh = std::make_unique<AudioOutput>(factory() ? factory()() : makePlatformRenderBackend());
    if (!fresh->initialize())
        qCWarning(lcPlayback) << "the render device could not be set up; the next playback tries again";
    // The previous instance failed to set up, so it has no render thread.
    current = std::move(fresh);
    current->setPullSamples([](std::int16_t *buffer, std::uint64_t frames) {
        if (playbackState::instance().pullSamples(buffer, frames))
            postToTarget(&speaker::stopPlayback);
    });
    current->setOnStopped([] { postToTarget(&speaker::playbackFinished); });
    return *current;
}

AudioOutput *renderDevice()
{
    return device().get();
}

void releaseRenderDevice()
{
    device().reset();
}

void setRenderBackendFactory(RenderBackendFactory make)
{
    factory() = std::move(make);
}
