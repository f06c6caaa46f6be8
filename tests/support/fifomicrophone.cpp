#include "fifomicrophone.h"

#include <QFile>

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr qsizetype blockBytes = 960; // 10 ms at 48 kHz, mono S16
constexpr auto blockTime = std::chrono::milliseconds(10);
} // namespace

bool FifoMicrophone::start()
{
    if (::mkfifo(QFile::encodeName(m_path).constData(), 0600) != 0 && errno != EEXIST)
        return false;
    m_stop = false;
    m_thread = std::thread([this] { feed(); });
    return true;
}

void FifoMicrophone::stop()
{
    if (!m_thread.joinable())
        return;
    m_stop = true;
    // Unblocks a writer still waiting for a reader.
    const int unblock = ::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_NONBLOCK);
    m_thread.join();
    if (unblock >= 0)
        ::close(unblock);
}

void FifoMicrophone::speak(const QByteArray &pcm)
{
    const std::lock_guard lock(m_mutex);
    m_speech = pcm;
    m_offset = 0;
    m_speaking = !pcm.isEmpty();
    m_ended.reset();
}

std::optional<FifoMicrophone::Clock::time_point> FifoMicrophone::speechEnded() const
{
    const std::lock_guard lock(m_mutex);
    return m_ended;
}

QByteArray FifoMicrophone::nextBlock()
{
    const std::lock_guard lock(m_mutex);
    if (!m_speaking)
        return QByteArray(blockBytes, '\0');
    QByteArray block = m_speech.mid(m_offset, blockBytes);
    block.resize(blockBytes, '\0');
    return block;
}

void FifoMicrophone::blockWritten()
{
    const std::lock_guard lock(m_mutex);
    if (!m_speaking)
        return;
    m_offset += blockBytes;
    if (m_offset >= m_speech.size()) {
        m_speaking = false;
        m_ended = Clock::now();
    }
}

void FifoMicrophone::feed()
{
    ::signal(SIGPIPE, SIG_IGN);
    while (!m_stop) {
        // Blocks until the plugin opens its input file.
        const int fd = ::open(QFile::encodeName(m_path).constData(), O_WRONLY);
        if (fd < 0)
            return;
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        auto next = Clock::now();
        while (!m_stop) {
            if (m_quiet) {
                std::this_thread::sleep_for(blockTime);
                next = Clock::now();
                continue;
            }
            const QByteArray block = nextBlock();
            // Blocks are smaller than PIPE_BUF, so a write takes all or nothing.
            if (::write(fd, block.constData(), size_t(block.size())) == block.size())
                blockWritten();
            else if (errno != EAGAIN)
                break; // the reader went away: wait for the next one
            // Speech not taken now is offered again at the next block.
            next += blockTime;
            const auto now = Clock::now();
            if (now > next + 5 * blockTime)
                next = now; // fell behind (a descheduled thread): do not burst
            std::this_thread::sleep_until(next);
        }
        ::close(fd);
    }
}
