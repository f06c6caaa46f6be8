#pragma once

// Work posted to another thread with a queued call is ordered by Qt's own
// locks. Where Qt is not built with ThreadSanitizer those locks are invisible
// to it, so in such builds a lock of ours orders the two sides instead: the
// poster holds it while the call is built and queued (Posting), and the
// receiver takes it before touching anything the call carries (received).
// Outside ThreadSanitizer builds both are empty.
#if defined(__SANITIZE_THREAD__)
#include <mutex>
#endif

namespace handoff {

#if defined(__SANITIZE_THREAD__)
inline std::mutex &gate()
{
    static std::mutex mutex;
    return mutex;
}

// Only around queued posts: a direct call would take the lock again.
class Posting
{
public:
    Posting() { gate().lock(); }
    ~Posting() { gate().unlock(); }
    Posting(const Posting &) = delete;
    Posting &operator=(const Posting &) = delete;
};

inline void received()
{
    const std::lock_guard lock(gate());
}
#else
class Posting
{
public:
    Posting() {} // user-provided, so that an unused instance draws no warning
    Posting(const Posting &) = delete;
    Posting &operator=(const Posting &) = delete;
};

inline void received()
{}
#endif

} // namespace handoff
