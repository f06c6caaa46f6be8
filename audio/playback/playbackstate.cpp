#include "playbackstate.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <utility>

playbackState &playbackState::instance()
{
    static playbackState state;
    return state;
}

QByteArray playbackState::speech() const
{
    std::lock_guard locker(m_lock);
    if (m_speech.size() == 1)
        return m_speech.front();
    QByteArray joined;
    qsizetype size = 0;
    for (const QByteArray &piece : m_speech)
        size += piece.size();
    joined.reserve(size);
    for (const QByteArray &piece : m_speech)
        joined.append(piece);
    return joined;
}

bool playbackState::hasSpeech() const
{
    return speechOpen() || hasSpeechSamples();
}

bool playbackState::hasSpeechSamples() const
{
    std::lock_guard locker(m_lock);
    return std::any_of(m_speech.begin(), m_speech.end(), [](const QByteArray &p) { return !p.isEmpty(); });
}

QByteArray playbackState::blip() const
{
    std::lock_guard locker(m_lock);
    return m_blip;
}

void playbackState::replaceSpeech(QByteArray pcm)
{
    // Released after the lock, on this thread; the source may still share
    // the buffers, which keeps them alive until the next source replaces it.
    Pieces old;
    std::lock_guard locker(m_lock);
    old = std::exchange(m_speech, Pieces{std::move(pcm)});
    m_speechOpen = false;
    m_followsSpeech = false;
    m_changed.notify_all();
}

void playbackState::beginSpeech()
{
    Pieces old;
    std::lock_guard locker(m_lock);
    old = std::exchange(m_speech, {});
    m_speechOpen = true;
    m_followsSpeech = false;
    m_changed.notify_all();
}

void playbackState::appendSpeech(QByteArray pcm)
{
    if (pcm.isEmpty())
        return;
    // A vector that grows frees its old array here, on this thread.
    std::lock_guard locker(m_lock);
    if (m_followsSpeech) {
        m_source.push_back(pcm);
        m_changed.notify_all();
    }
    m_speech.push_back(std::move(pcm));
}

void playbackState::endSpeech()
{
    std::lock_guard locker(m_lock);
    m_speechOpen = false;
    m_changed.notify_all();
}

bool playbackState::speechOpen() const
{
    std::lock_guard locker(m_lock);
    return m_speechOpen;
}

void playbackState::replaceBlip(QByteArray pcm)
{
    QByteArray old;
    std::lock_guard locker(m_lock);
    old = std::exchange(m_blip, std::move(pcm));
}

void playbackState::setSourceLocked(const QByteArray &pcm)
{
    m_source = Pieces{pcm};
    m_sourcePiece = 0;
    m_offset = 0;
    m_followsSpeech = false;
    m_pending = true;
    m_changed.notify_all();
}

void playbackState::setSpeechSourceLocked()
{
    m_source = m_speech;
    m_sourcePiece = 0;
    m_offset = 0;
    m_followsSpeech = true;
    m_pending = true;
    m_changed.notify_all();
}

qsizetype playbackState::copySourceLocked(char *bytes, qsizetype wanted)
{
    qsizetype filled = 0;
    while (filled < wanted && m_sourcePiece < m_source.size()) {
        const QByteArray &piece = m_source[m_sourcePiece];
        const qsizetype n = std::min(piece.size() - m_offset, wanted - filled);
        std::memcpy(bytes + filled, piece.constData() + m_offset, static_cast<std::size_t>(n));
        filled += n;
        m_offset += n;
        if (m_offset == piece.size()) {
            ++m_sourcePiece;
            m_offset = 0;
        }
    }
    return filled;
}

bool playbackState::pullSamples(std::int16_t *buffer, std::uint64_t frames)
{
    auto *bytes = reinterpret_cast<char *>(buffer);
    const auto wanted = static_cast<qsizetype>(2 * frames);
    std::unique_lock locker(m_lock);
    qsizetype filled = copySourceLocked(bytes, wanted);
    const auto until = std::chrono::steady_clock::now() + dryWait;
    while (filled < wanted && m_followsSpeech && m_speechOpen) {
        const std::size_t pieces = m_source.size();
        if (!m_changed.wait_until(locker, until, [&] {
                return m_source.size() != pieces || !m_followsSpeech || !m_speechOpen;
            }))
            break;
        if (m_followsSpeech)
            filled += copySourceLocked(bytes + filled, wanted - filled);
    }
    std::memset(bytes + filled, 0, static_cast<std::size_t>(wanted - filled));
    if (filled > 0)
        return false;
    // Run dry while more of the utterance is coming: silence, not the end.
    if (m_followsSpeech && m_speechOpen)
        return false;
    return std::exchange(m_pending, false);
}

void playbackState::reset()
{
    Pieces speech, source;
    QByteArray blip;
    std::lock_guard locker(m_lock);
    speech = std::exchange(m_speech, {});
    blip = std::exchange(m_blip, {});
    source = std::exchange(m_source, {});
    m_speechOpen = false;
    m_sourcePiece = 0;
    m_offset = 0;
    m_followsSpeech = false;
    m_pending = false;
    m_changed.notify_all();
}
