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
    return m_speech;
}

QByteArray playbackState::blip() const
{
    std::lock_guard locker(m_lock);
    return m_blip;
}

void playbackState::replaceSpeech(QByteArray pcm)
{
    QByteArray old;
    std::lock_guard locker(m_lock);
    old = std::exchange(m_speech, std::move(pcm));
    // `old` may still be shared with the current source, which keeps it
    // alive until the next source replaces it.
}

void playbackState::replaceBlip(QByteArray pcm)
{
    QByteArray old;
    std::lock_guard locker(m_lock);
    old = std::exchange(m_blip, std::move(pcm));
}

void playbackState::setSourceLocked(const QByteArray &pcm)
{
    m_source = pcm;
    m_offset = 0;
    m_pending = true;
}

bool playbackState::pullSamples(std::int16_t *buffer, std::uint64_t frames)
{
    auto *bytes = reinterpret_cast<char *>(buffer);
    const std::uint64_t wanted = 2 * frames;
    std::lock_guard locker(m_lock);
    const qsizetype remaining = m_source.size() - m_offset;
    if (remaining > 0) {
        const auto n =
            static_cast<qsizetype>(std::min<std::uint64_t>(static_cast<std::uint64_t>(remaining), wanted));
        std::memcpy(bytes, m_source.constData() + m_offset, static_cast<std::size_t>(n));
        m_offset += n;
        std::memset(bytes + n, 0, static_cast<std::size_t>(wanted - static_cast<std::uint64_t>(n)));
        return false;
    }
    std::memset(bytes, 0, static_cast<std::size_t>(wanted));
    return std::exchange(m_pending, false);
}

void playbackState::reset()
{
    QByteArray speech, blip, source;
    std::lock_guard locker(m_lock);
    speech = std::exchange(m_speech, {});
    blip = std::exchange(m_blip, {});
    source = std::exchange(m_source, {});
    m_offset = 0;
    m_pending = false;
}
