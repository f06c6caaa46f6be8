#pragma once

#include <QMetaType>
#include <QString>

#include <memory>

class messenger;
class QThread;

// The recorder front end handed to QML as "recorder". A value type: copies
// share the hub and the worker thread. The encoding itself happens on the
// worker thread, in the current encoder.
class input
{
    Q_GADGET
public:
    // Takes the hub and the worker thread and makes a fresh current encoder.
    // The language is not needed.
    Q_INVOKABLE void init(const QString &language = QString());
    // Starts a recording (when onCloudSpeech) and tells the window that
    // recording has begun, if the microphone may be used; otherwise asks for
    // the permission and does nothing else.
    Q_INVOKABLE void vstart(bool onCloudSpeech);
    // Stops the recording a quarter of a second from now.
    Q_INVOKABLE void vstop(bool onCloudSpeech);

    [[nodiscard]] const std::shared_ptr<messenger> &hub() const { return m_hub; }
    [[nodiscard]] const std::shared_ptr<QThread> &worker() const { return m_worker; }

    // How long capture goes on after the button is released.
    static constexpr int stopDelayMs = 250;

private:
    std::shared_ptr<messenger> m_hub;
    std::shared_ptr<QThread> m_worker;
};
