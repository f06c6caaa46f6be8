#include "renderwatch.h"

#include <QFile>

#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

RenderWatch::RenderWatch(QString path) : m_path(std::move(path))
{
    m_thread = std::thread([this] { follow(); });
}

RenderWatch::~RenderWatch()
{
    m_stop = true;
    m_thread.join();
}

void RenderWatch::mark()
{
    const std::lock_guard lock(m_mutex);
    QFile file(m_path);
    // Whole samples only, so that reading resumes on a sample boundary.
    m_read = file.size() & ~qint64(1);
    m_samples.clear();
    m_firstLoud.reset();
}

std::optional<RenderWatch::Clock::time_point> RenderWatch::firstLoud() const
{
    const std::lock_guard lock(m_mutex);
    return m_firstLoud;
}

std::vector<qint16> RenderWatch::samplesSinceMark() const
{
    const std::lock_guard lock(m_mutex);
    return m_samples;
}

qsizetype RenderWatch::loudSamples(const QString &path, qsizetype from)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray bytes = file.readAll();
    qsizetype loud = 0;
    for (qsizetype at = from & ~qsizetype(1); at + 1 < bytes.size(); at += 2) {
        qint16 sample = 0;
        std::memcpy(&sample, bytes.constData() + at, sizeof sample);
        if (std::abs(sample) > threshold)
            ++loud;
    }
    return loud;
}

void RenderWatch::follow()
{
    const QByteArray name = QFile::encodeName(m_path);
    int fd = -1;
    char buffer[65536];
    while (!m_stop) {
        if (fd < 0)
            fd = ::open(name.constData(), O_RDONLY);
        if (fd >= 0) {
            const std::lock_guard lock(m_mutex);
            ssize_t got = 0;
            while ((got = ::pread(fd, buffer, sizeof buffer, m_read)) >= 2) {
                const auto count = size_t(got) / 2;
                const auto now = Clock::now();
                for (size_t i = 0; i < count; ++i) {
                    qint16 sample = 0;
                    std::memcpy(&sample, buffer + 2 * i, sizeof sample);
                    m_samples.push_back(sample);
                    if (!m_firstLoud && std::abs(sample) > threshold)
                        m_firstLoud = now;
                }
                m_read += qint64(count * 2);
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (fd >= 0)
        ::close(fd);
}
