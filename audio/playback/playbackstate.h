#pragma once

#include <QByteArray>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

// The process-wide playback state shared by the speaker (worker thread) and
// the render thread: the speech and blip buffers, the current source and the
// pending flag, all under the playback lock. That lock is always taken before
// the render device's own mutex. A standard mutex, so that ThreadSanitizer
// sees every hand-over between the worker and the render thread.
//
// The speech is a list of decoded pieces, so that a reply can be played
// while it still arrives: appending never copies what is already there.
// The current source holds references to the buffers it reads, so replacing
// the speech or blip buffer while the render thread plays it never frees the
// bytes under it. Only the worker and GUI threads ever assign a buffer, so
// memory is never released on the render thread.
class playbackState
{
public:
    [[nodiscard]] static playbackState &instance();

    [[nodiscard]] std::mutex &lock() { return m_lock; }

    // The speech so far, joined.
    [[nodiscard]] QByteArray speech() const;
    // Some speech is there, or more of it is coming.
    [[nodiscard]] bool hasSpeech() const;
    [[nodiscard]] bool hasSpeechSamples() const;
    [[nodiscard]] QByteArray blip() const;
    // A whole utterance.
    void replaceSpeech(QByteArray pcm);
    // An utterance that arrives in pieces: empty and open until endSpeech.
    void beginSpeech();
    // More of the open utterance; a source playing it reads on into it.
    void appendSpeech(QByteArray pcm);
    void endSpeech();
    [[nodiscard]] bool speechOpen() const;
    void replaceBlip(QByteArray pcm);

    // The caller holds lock(): the block becomes the current source and the
    // pending flag is set.
    void setSourceLocked(const QByteArray &pcm);
    // The caller holds lock(): the speech from its start becomes the current
    // source, and what is appended to it later plays on.
    void setSpeechSourceLocked();

    // Render thread: fills `frames` mono frames from the current source and
    // pads with silence. Returns true once when the source has run out while
    // pending (the caller then asks for the stop) and clears the flag. A
    // source that plays an open utterance only runs out once it has ended;
    // run dry before, it first waits up to dryWait for the next part (the
    // worker decodes it in less, with room for a slow or busy machine: the
    // sanitizer builds took more than 5 ms), so that a device without a
    // clock, which asks again at once, gets speech rather than silence.
    [[nodiscard]] bool pullSamples(std::int16_t *buffer, std::uint64_t frames);
    static constexpr std::chrono::milliseconds dryWait{25};

    // Forgets buffers and source (tests start from a clean state).
    void reset();

private:
    using Pieces = std::vector<QByteArray>;
    // Caller holds the lock: copies what the source has; returns the bytes.
    qsizetype copySourceLocked(char *bytes, qsizetype wanted);

    mutable std::mutex m_lock;
    std::condition_variable m_changed; // the source grew, or the speech ended
    Pieces m_speech;
    bool m_speechOpen = false;
    QByteArray m_blip;
    Pieces m_source;
    std::size_t m_sourcePiece = 0;
    qsizetype m_offset = 0;
    bool m_followsSpeech = false;
    bool m_pending = false;
};
