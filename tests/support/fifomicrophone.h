#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <thread>

// A microphone for ALSA's file plugin: a FIFO that the plugin reads as its
// input file, fed at the pace of a real device (10 ms blocks of 48 kHz mono
// S16LE) with silence, or with speech once speak() is called. Silence that
// nobody reads is dropped, as a real device drops what is not captured, so a
// capture started later does not receive a long backlog.
class FifoMicrophone
{
public:
    using Clock = std::chrono::steady_clock;

    explicit FifoMicrophone(QString path) : m_path(std::move(path)) {}
    ~FifoMicrophone() { stop(); }
    FifoMicrophone(const FifoMicrophone &) = delete;
    FifoMicrophone &operator=(const FifoMicrophone &) = delete;

    // Makes the FIFO and starts feeding it; false when it cannot be made.
    bool start();
    void stop();

    // Speaks `pcm` from the next block on, replacing any speech in progress.
    void speak(const QByteArray &pcm);
    // While quiet, nothing is written but the FIFO stays open: a microphone
    // that stopped delivering (its reader's read blocks).
    void setQuiet(bool quiet) { m_quiet = quiet; }
    // When the last block of the latest speech was written; empty while it is
    // still being spoken or before anything was.
    [[nodiscard]] std::optional<Clock::time_point> speechEnded() const;
    [[nodiscard]] QString path() const { return m_path; }

private:
    void feed();
    QByteArray nextBlock();
    void blockWritten();

    QString m_path;
    std::thread m_thread;
    std::atomic<bool> m_stop = false;
    std::atomic<bool> m_quiet = false;

    mutable std::mutex m_mutex;
    QByteArray m_speech;
    qsizetype m_offset = 0;
    bool m_speaking = false;
    std::optional<Clock::time_point> m_ended;
};
