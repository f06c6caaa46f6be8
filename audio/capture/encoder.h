#pragma once

#include "oggwriter.h"
#include "recorder.h"

#include <QVarLengthArray>

#include <memory>

class messenger;
struct OpusEncoder;

// Encodes captured speech to Opus (20 ms frames, 24 kbit/s, voice) and builds
// the recording's Ogg Opus stream, emitted on the hub's recordingReady when
// the recording ends. While it is spoken, the stream's pages go out on the
// hub's recordingPages as they are made (the headers at the start, then a
// page every 100 ms of audio), so that recognition can begin before the
// end. Lives on the shared worker thread.
class encoder final : public recorder
{
    Q_OBJECT
public:
    static constexpr int frameSize = 960;
    // The status while no Opus encoder is open.
    static constexpr int idleStatus = 4028;
    // Short-audio recognition refuses a recording longer than 60 s whole,
    // and the release adds a tail to a full-length one: what comes after
    // 60 s of encoded audio is left out.
    static constexpr qint64 maxRecordingSamples = 60 * 48000;
    // Packets per streamed page: 100 ms of audio.
    static constexpr qsizetype streamedPagePackets = 5;

    explicit encoder(std::shared_ptr<messenger> hub, QObject *parent = nullptr);
    ~encoder() override;

    // Begins a new stream, discarding any unfinished one, and starts the
    // capture device. When the device has stopped and the end of the last
    // stream is still on its way (posted behind this call), the new stream
    // begins once that end has been written instead.
    void startEncoding();
    void pushSamples(const qint16 *samples, qint64 count) override;
    void finishStream() override;

    // 0 while a stream is open; idleStatus or a libopus error otherwise.
    [[nodiscard]] int status() const { return m_status; }
    [[nodiscard]] const OggWriter &writer() const { return m_ogg; }
    [[nodiscard]] qsizetype bufferedSamples() const { return m_samples.size(); }
    [[nodiscard]] qsizetype bufferCapacity() const { return m_samples.capacity(); }

private:
    void reset();
    void encodeFrame(const qint16 *frame);
    void handOnPages();

    OpusEncoder *m_opus = nullptr;
    int m_status = idleStatus;
    OggWriter m_ogg;
    QVarLengthArray<qint16, frameSize> m_samples;
    std::shared_ptr<messenger> m_hub;
    // The open stream is fed by the device, whose stop will post its end.
    bool m_fedByDevice = false;
    bool m_startAfterFinish = false;
};
