#pragma once

#include <QString>

#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// Follows the raw S16LE file that ALSA's file plugin writes for a playback
// device: when the first loud sample appeared after a mark, and the samples
// written since. A thread reads what is new every millisecond.
class RenderWatch
{
public:
    using Clock = std::chrono::steady_clock;

    explicit RenderWatch(QString path);
    ~RenderWatch();
    RenderWatch(const RenderWatch &) = delete;
    RenderWatch &operator=(const RenderWatch &) = delete;

    // Forgets what was rendered so far; the search starts at the file's end.
    void mark();
    [[nodiscard]] std::optional<Clock::time_point> firstLoud() const;
    [[nodiscard]] std::vector<qint16> samplesSinceMark() const;

    // Samples louder than `threshold` in a raw S16LE file, from byte `from` on.
    [[nodiscard]] static qsizetype loudSamples(const QString &path, qsizetype from = 0);

    static constexpr int threshold = 1000;

private:
    void follow();

    QString m_path;
    std::thread m_thread;
    std::atomic<bool> m_stop = false;

    mutable std::mutex m_mutex;
    qint64 m_read = 0; // bytes of the file consumed, marks included
    std::vector<qint16> m_samples;
    std::optional<Clock::time_point> m_firstLoud;
};
