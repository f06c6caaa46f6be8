#pragma once

#include <QMetaObject>
#include <QObject>

#include <condition_variable>
#include <mutex>

#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#endif

// Runs `work` on the thread of `context` and waits for it. ThreadSanitizer
// does not see inside Qt, so the hand-over through Qt's event queue is
// declared to it, and the hand-back uses a standard mutex it can see.
template <typename F> void runOn(QObject *context, F work)
{
    std::mutex mutex;
    std::condition_variable doneChanged;
    bool done = false;
#if defined(__SANITIZE_THREAD__)
    __tsan_release(&done);
#endif
    QMetaObject::invokeMethod(
        context,
        [&] {
#if defined(__SANITIZE_THREAD__)
            __tsan_acquire(&done);
#endif
            work();
            std::lock_guard lock(mutex);
            done = true;
            doneChanged.notify_one();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(mutex);
    doneChanged.wait(lock, [&] { return done; });
}
