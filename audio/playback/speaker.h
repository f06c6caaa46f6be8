#pragma once

#include "devicefault.h"
#include "player.h"
#include "speechpiece.h"

#include <QByteArray>
#include <QPointer>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>

class messenger;
struct IncomingSpeech;
class playbackState;

// Playback control. Lives on the shared worker thread; every method except
// the constructor runs there. There is one current speaker.
class speaker final : public player
{
    Q_OBJECT
public:
    // Connects to the hub's speechReady and loads the prompt sound. Called on
    // the GUI thread before the speaker is moved to the worker thread.
    speaker(double speechVolume, double appVolume);
    ~speaker() override;

    // A whole reply: decoded, then played.
    void receiveSpeech(QByteArray reply);
    // Part of a reply: decoded and played on from the first piece on. A
    // first piece replaces the reply being received; a piece of any other
    // reply, or out of order, is dropped.
    void receivePiece(SpeechPiece piece);
    void playSource(bool isBip);
    // False when the device could not play it (the interface is told).
    bool startPlayback(const QByteArray &source, double volume);
    // The speech from its start, on into what is still arriving.
    bool startSpeech(bool hasSpeech);
    void stopPlayback();
    void playbackFinished() override;
    // The device failed for good while playing: the playback ends and the
    // interface is told why.
    void deviceFailed(DeviceFault fault);

    void setSpeechVolume(double volume) { m_speechVolume = volume; }
    void setAppVolume(double volume) { m_appVolume = volume; }
    // How long a reply may go without a piece before its speech is ended
    // with what it has (the client gives up on a silent reply as soon).
    void setPieceTimeout(std::chrono::milliseconds timeout) { m_pieceTimer.setInterval(timeout); }
    static constexpr std::chrono::milliseconds pieceTimeout{5000};

    // The current speaker (GUI thread).
    [[nodiscard]] static QPointer<speaker> current();
    // Makes `next` current; the previous one is deleted on its own thread.
    static void makeCurrent(speaker *next);

    static constexpr char blipResource[] = ":/blip.pcm";

private:
    bool start(double volume, bool hasSound, const std::function<void(playbackState &)> &setSource);
    void decodeIncoming();
    void pieceTimedOut();
    // A reply that is mostly not Opus: nothing of it plays.
    void refuseReply();
    // While the device plays: a render thread stuck inside the back end is
    // noticed without waiting for the next stop, which it then is given.
    void watchDevice();
    void send(const QString &tag, bool value);
    void reportOutput(DeviceFault fault);

    std::shared_ptr<messenger> m_hub;
    double m_speechVolume = 1.0;
    double m_appVolume = 0.5;
    bool m_isSpeech = false;
    std::unique_ptr<IncomingSpeech> m_incoming;
    QTimer m_pieceTimer;
    QTimer m_deviceWatch;
};
