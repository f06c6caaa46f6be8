#include "input.h"

#include "capturelogging.h"
#include "encoder.h"
#include "handoff.h"
#include "messenger.h"
#include "micpermission.h"
#include "workerthread.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <QVariantMap>

#include <exception>

using namespace Qt::StringLiterals;

namespace {
// The one live encoder. Set and read on the GUI thread only.
QPointer<encoder> &currentEncoder()
{
    static QPointer<encoder> current;
    return current;
}

// Runs `work` on the current encoder's thread; dropped when there is none.
// Nothing thrown there may reach the event loop.
template <typename Work> void postToEncoder(Work work)
{
    const QPointer<encoder> target = currentEncoder();
    if (!target) {
        qCDebug(lcCapture) << "no encoder yet; request dropped";
        return;
    }
    const handoff::Posting posting;
    QMetaObject::invokeMethod(
        target.data(),
        [target, work] {
            handoff::received();
            if (!target)
                return;
            try {
                work(*target);
            } catch (const std::exception &e) {
                qCCritical(lcCapture) << "recording failed:" << e.what();
            } catch (...) {
                qCCritical(lcCapture) << "recording failed";
            }
        },
        Qt::QueuedConnection);
}

// The stop the last release asked for, while the recording's tail runs.
// Set and read on the GUI thread only.
QPointer<QTimer> &pendingStop()
{
    static QPointer<QTimer> timer;
    return timer;
}
} // namespace

void input::init(const QString &)
{
    m_hub = messenger::instance();
    m_worker = workerThread();

    auto *made = new encoder(m_hub);
    QPointer<encoder> &current = currentEncoder();
    // The old encoder lives on the worker thread and may be busy there: it is
    // deleted on that thread, after the calls already posted to it.
    if (current)
        current->deleteLater();
    current = made;
    made->moveToThread(m_worker.get());
    QObject::connect(m_worker.get(), &QThread::finished, made, &QObject::deleteLater);
}

void input::vstart(bool onCloudSpeech)
{
    const Qt::PermissionStatus permission = micpermission::status();
    if (permission != Qt::PermissionStatus::Granted) {
        qCDebug(lcCapture) << "microphone permission not granted; asking";
        micpermission::request();
        // Refused once already: the system will not ask again, so say so.
        if (permission == Qt::PermissionStatus::Denied) {
            const std::shared_ptr<messenger> hub = m_hub ? m_hub : messenger::instance();
            hub->forwardMessage(u"AUDIOERROR"_s,
                                QVariantMap{{u"device"_s, u"microphone"_s}, {u"reason"_s, u"permission"_s}});
        }
        return;
    }
    if (onCloudSpeech) {
        if (QTimer *stop = pendingStop()) {
            // Pressed again during the last recording's tail: that recording
            // ends now and is sent, and the new one begins on the running
            // device. Left to its timer, the old stop would cut the new
            // recording short and lose what is said after it.
            stop->stop();
            stop->deleteLater();
            pendingStop() = nullptr;
            postToEncoder([](encoder &e) {
                e.finishStream();
                e.startEncoding();
            });
        } else {
            postToEncoder([](encoder &e) { e.startEncoding(); });
        }
    }
    const std::shared_ptr<messenger> hub = m_hub ? m_hub : messenger::instance();
    hub->forwardMessage(u"RECORDINGSTARTED"_s, true);
}

void input::vstop(bool onCloudSpeech)
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app || !onCloudSpeech)
        return;
    auto *timer = new QTimer(app);
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer, &QTimer::timeout, timer, [timer] {
        if (pendingStop() == timer)
            pendingStop() = nullptr;
        timer->deleteLater();
        postToEncoder([](encoder &e) { e.stopDevice(); });
    });
    pendingStop() = timer;
    timer->start(stopDelayMs);
}
