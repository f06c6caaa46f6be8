#pragma once

#include <QMetaObject>
#include <QObject>

#include <condition_variable>
#include <mutex>

// Runs `work` on the thread of `context` and waits for it. The wait uses a
// standard mutex rather than a blocking queued call so that ThreadSanitizer,
// which does not see inside Qt, sees the hand-back.
template <typename F>
void runOn(QObject *context, F work)
{
    std::mutex mutex;
    std::condition_variable doneChanged;
    bool done = false;
    QMetaObject::invokeMethod(
        context,
        [&] {
            work();
            std::lock_guard lock(mutex);
            done = true;
            doneChanged.notify_one();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(mutex);
    doneChanged.wait(lock, [&] { return done; });
}
