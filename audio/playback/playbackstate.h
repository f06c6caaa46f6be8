#pragma once

#include <QByteArray>

#include <cstdint>
#include <mutex>

// The process-wide playback state shared by the speaker (worker thread) and
// the render thread: the speech and blip buffers, the current source and the
// pending flag, all under the playback lock. That lock is always taken before
// the render device's own mutex. A standard mutex, so that ThreadSanitizer
// sees every hand-over between the worker and the render thread.
//
// The current source holds a reference to the buffer it reads, so replacing
// the speech or blip buffer while the render thread plays it never frees the
// bytes under it. Only the worker and GUI threads ever assign a buffer, so
// memory is never released on the render thread.
class playbackState
{
public:
    [[nodiscard]] static playbackState &instance();

    [[nodiscard]] std::mutex &lock() { return m_lock; }

    [[nodiscard]] QByteArray speech() const;
    [[nodiscard]] QByteArray blip() const;
    void replaceSpeech(QByteArray pcm);
    void replaceBlip(QByteArray pcm);

    // The caller holds lock(): the block becomes the current source and the
    // pending flag is set.
    void setSourceLocked(const QByteArray &pcm);

    // Render thread: fills `frames` mono frames from the current source and
    // pads with silence. Returns true once when the source has run out while
    // pending (the caller then asks for the stop) and clears the flag.
    [[nodiscard]] bool pullSamples(std::int16_t *buffer, std::uint64_t frames);

    // Forgets buffers and source (tests start from a clean state).
    void reset();

private:
    mutable std::mutex m_lock;
    QByteArray m_speech;
    QByteArray m_blip;
    QByteArray m_source;
    qsizetype m_offset = 0;
    bool m_pending = false;
};
