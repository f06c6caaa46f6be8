#pragma once

#include <QThreadPool>

#include <deque>
#include <functional>
#include <memory>
#include <mutex>

// Runs tasks one after another on a thread pool, in the order posted, so
// that work on one stream never runs on two threads at once. Held by a
// shared pointer: queued work keeps it alive.
class SerialWork final : public std::enable_shared_from_this<SerialWork>
{
public:
    explicit SerialWork(QThreadPool &pool) : m_pool(pool) {}

    void post(std::function<void()> task)
    {
        std::lock_guard lock(m_mutex);
        m_tasks.push_back(std::move(task));
        if (m_running)
            return;
        m_running = true;
        m_pool.start([self = shared_from_this()] { self->drain(); });
    }

private:
    void drain()
    {
        for (;;) {
            std::function<void()> task;
            {
                std::lock_guard lock(m_mutex);
                if (m_tasks.empty()) {
                    m_running = false;
                    return;
                }
                task = std::move(m_tasks.front());
                m_tasks.pop_front();
            }
            task();
        }
    }

    QThreadPool &m_pool;
    std::mutex m_mutex;
    std::deque<std::function<void()>> m_tasks;
    bool m_running = false;
};
