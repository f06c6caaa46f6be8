#pragma once

#include "devicefault.h"
#include "player.h"

#include <QByteArray>
#include <QPointer>

#include <memory>

class messenger;

// Playback control. Lives on the shared worker thread; every method except
// the constructor runs there. There is one current speaker.
class speaker final : public player
{
    Q_OBJECT
public:
    // Connects to the hub's speechReady and loads the prompt sound. Called on
    // the GUI thread before the speaker is moved to the worker thread.
    speaker(double speechVolume, double appVolume);

    void receiveSpeech(QByteArray reply);
    void playSource(bool isBip);
    // False when the device could not play it (the interface is told).
    bool startPlayback(const QByteArray &source, double volume);
    void stopPlayback();
    void playbackFinished() override;
    // The device failed for good while playing: the playback ends and the
    // interface is told why.
    void deviceFailed(DeviceFault fault);

    void setSpeechVolume(double volume) { m_speechVolume = volume; }
    void setAppVolume(double volume) { m_appVolume = volume; }

    // The current speaker (GUI thread).
    [[nodiscard]] static QPointer<speaker> current();
    // Makes `next` current; the previous one is deleted on its own thread.
    static void makeCurrent(speaker *next);

    static constexpr char blipResource[] = ":/blip.pcm";

private:
    void send(const QString &tag, bool value);
    void reportOutput(DeviceFault fault);

    std::shared_ptr<messenger> m_hub;
    double m_speechVolume = 1.0;
    double m_appVolume = 0.5;
    bool m_isSpeech = false;
};
