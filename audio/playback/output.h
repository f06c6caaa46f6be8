#pragma once

#include <QMetaType>

#include <memory>

class QThread;

// The player front end handed to QML as "player". A value type: copies share
// the worker thread. Every method but init only posts to the current speaker.
class output
{
    Q_GADGET
public:
    // Called once when the main window is complete, with its two volumes.
    Q_INVOKABLE void init(double voiceVolume = 1.0, double appVolume = 0.5);
    Q_INVOKABLE void setSpeechVolume(double volume) const;
    Q_INVOKABLE void setAppVolume(double volume) const;
    Q_INVOKABLE void stop() const;
    Q_INVOKABLE void play() const;
    Q_INVOKABLE void bip() const;

    [[nodiscard]] const std::shared_ptr<QThread> &worker() const { return m_worker; }

private:
    std::shared_ptr<QThread> m_worker;
};
