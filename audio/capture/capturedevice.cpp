#include "capturedevice.h"

#include "audioinput.h"
#include "capturelogging.h"
#include "handoff.h"
#include "recorder.h"

#include <QMetaObject>
#include <QPointer>

#include <exception>
#include <mutex>
#include <vector>

namespace capture {
namespace {

struct DeviceState
{
    std::mutex mutex; // guards every member: the capture thread reads `target`
    BackendFactory factory;
    std::chrono::milliseconds stallTimeout = deviceStallTimeout;
    std::unique_ptr<AudioInput> device;
    QPointer<recorder> target;
};

DeviceState &state()
{
    static DeviceState s;
    return s;
}

// Runs posted work on the worker thread; nothing thrown may reach its event loop.
template <typename Work> void guarded(Work &&work)
{
    try {
        work();
    } catch (const std::exception &e) {
        qCCritical(lcCapture) << "recording failed:" << e.what();
    } catch (...) {
        qCCritical(lcCapture) << "recording failed";
    }
}

QPointer<recorder> attachedTarget()
{
    std::lock_guard lock(state().mutex);
    return state().target;
}

// Runs on the capture thread: the block is copied out of the device buffer
// before the packet is released, and only the copy travels.
void postSamples(const std::int16_t *samples, std::uint64_t frames)
{
    const QPointer<recorder> target = attachedTarget();
    if (!target)
        return;
    std::vector<qint16> block(samples, samples + frames);
    const handoff::Posting posting;
    QMetaObject::invokeMethod(
        target.data(),
        [target, block = std::move(block)] {
            handoff::received();
            guarded([&] {
                if (target)
                    target->pushSamples(block.data(), static_cast<qint64>(block.size()));
            });
        },
        Qt::QueuedConnection);
}

void postFault(DeviceFault fault)
{
    const QPointer<recorder> target = attachedTarget();
    if (!target)
        return;
    qCWarning(lcCapture).nospace() << "the microphone "
                                   << (fault == DeviceFault::Stalled ? "delivered nothing for too long"
                                                                     : "failed")
                                   << " while recording; it is set up afresh at the next recording";
    const handoff::Posting posting;
    QMetaObject::invokeMethod(
        target.data(),
        [target, fault] {
            handoff::received();
            guarded([&] {
                if (target)
                    target->deviceFailed(fault);
            });
        },
        Qt::QueuedConnection);
}

void postFinish()
{
    const QPointer<recorder> target = attachedTarget();
    if (!target)
        return;
    const handoff::Posting posting;
    QMetaObject::invokeMethod(
        target.data(),
        [target] {
            handoff::received();
            guarded([&] {
                if (target)
                    target->finishStream();
            });
        },
        Qt::QueuedConnection);
}

// Stops and destroys a device. One whose capture thread is stuck inside the
// back end is kept instead, to the end of the process: destroying it would
// pull the device from under that thread.
void dispose(std::unique_ptr<AudioInput> device)
{
    if (!device)
        return;
    device->stop();
    if (!device->isAbandoned())
        return;
    static auto *parked = new std::vector<std::unique_ptr<AudioInput>>;
    parked->push_back(std::move(device));
    qCWarning(lcCapture) << "a microphone whose capture thread never returned is left open;" << parked->size()
                         << "so far";
}

} // namespace

void setBackendFactory(BackendFactory factory)
{
    std::lock_guard lock(state().mutex);
    state().factory = std::move(factory);
}

void setStallTimeout(std::chrono::milliseconds timeout)
{
    std::lock_guard lock(state().mutex);
    state().stallTimeout = timeout;
}

std::chrono::milliseconds stallTimeout()
{
    std::lock_guard lock(state().mutex);
    return state().stallTimeout;
}

AudioInput &ensureCaptureDevice()
{
    DeviceState &s = state();
    std::unique_ptr<AudioInput> old;
    {
        std::lock_guard lock(s.mutex);
        // A device that failed for good, or that is no longer the system's
        // default, is replaced (never while it records).
        if (s.device && s.device->isUsable())
            return *s.device;
        auto made = std::make_unique<AudioInput>(s.factory ? s.factory() : makePlatformCaptureBackend());
        made->setStallTimeout(s.stallTimeout);
        if (!made->initialize())
            qCWarning(lcCapture) << "the microphone could not be set up; trying again at the next recording";
        old = std::exchange(s.device, std::move(made));
        s.device->setCallbacks(postSamples, postFinish);
        s.device->setFaultCallback(postFault);
    }
    // Destroyed outside the lock: a device whose run ended by itself may
    // still be posting its end, which takes the lock.
    dispose(std::move(old));
    std::lock_guard lock(s.mutex);
    return *s.device;
}

AudioInput *currentDevice()
{
    std::lock_guard lock(state().mutex);
    return state().device.get();
}

void attach(recorder *target)
{
    std::lock_guard lock(state().mutex);
    state().target = target;
}

void releaseCaptureDevice()
{
    std::unique_ptr<AudioInput> device;
    {
        std::lock_guard lock(state().mutex);
        device = std::move(state().device);
    }
    dispose(std::move(device));
}

} // namespace capture
