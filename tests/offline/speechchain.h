#pragma once

#include "cloudfixture.h"
#include "fifomicrophone.h"
#include "renderwatch.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTemporaryDir>

#include <chrono>
#include <memory>
#include <optional>
#include <vector>

class ChainWindow;

// The application's speech path without its window: the recorder captures a
// FIFO microphone through ALSA's file plugin, the cloud client sends the
// recording to the local service with the offline engines, and the player
// renders the spoken translation through ALSA into a file. A stand-in window
// does the main window's part: recognised text goes on to translation, and
// translations on to speech.
class SpeechChain : public QObject
{
    Q_OBJECT
public:
    using Clock = std::chrono::steady_clock;

    // Milliseconds of each stage, from the end of speech to the first loud
    // rendered sample.
    struct Timings
    {
        double tail = 0;          // end of speech to the finished recording
        double recognition = 0;   // recording to recognised text
        double translation = 0;   // text to translation
        double synthesis = 0;     // translation to the spoken reply
        double playbackStart = 0; // reply to the first loud rendered sample
        [[nodiscard]] double total() const
        {
            return tail + recognition + translation + synthesis + playbackStart;
        }
    };

    struct Outcome
    {
        QString recognised;
        QString translated;
        std::vector<qint16> rendered; // 48 kHz mono, from the start of playback
        Timings ms;
        QString error; // empty when the chain went through
    };

    SpeechChain();
    ~SpeechChain() override;

    // Points ALSA at the file devices and the client at the local service
    // with the offline engines, then initialises recorder, client and player.
    // Call once per process, before anything opened a sound device.
    bool start(QString *error);

    // Speaks `pcm` (48 kHz mono S16LE) into the microphone during a
    // recording, releases the button at the end of speech, and follows the
    // chain until the translation has been rendered.
    [[nodiscard]] Outcome run(const QByteArray &pcm, const QByteArray &from, const QByteArray &to,
                              const QByteArray &voice, int timeoutMs = 60000);

    [[nodiscard]] CloudService &service() { return m_fixture.service(); }

private:
    void recordingReady(const QByteArray &recording);
    void speechReady(const QByteArray &speech);
    void speechPieceReady(const SpeechPiece &piece);

    QTemporaryDir m_folder;
    CloudFixture m_fixture;
    std::unique_ptr<FifoMicrophone> m_microphone;
    std::unique_ptr<RenderWatch> m_render;
    std::unique_ptr<ChainWindow> m_window;
    std::optional<Clock::time_point> m_recorded;
    std::optional<Clock::time_point> m_spoken;
};
