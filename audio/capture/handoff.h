#pragma once

// Work posted to another thread with a queued call is ordered by Qt's own
// locks. Where Qt is not built with ThreadSanitizer those locks are invisible
// to it, so the two sides of a hand-off are marked explicitly: everything the
// poster did before release(p) happens before what the receiver does after
// acquire(p). Outside ThreadSanitizer builds both are empty.
#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void *addr);
extern "C" void __tsan_release(void *addr);
#endif

namespace handoff {

inline void release([[maybe_unused]] const void *p)
{
#if defined(__SANITIZE_THREAD__)
    __tsan_release(const_cast<void *>(p));
#endif
}

inline void acquire([[maybe_unused]] const void *p)
{
#if defined(__SANITIZE_THREAD__)
    __tsan_acquire(const_cast<void *>(p));
#endif
}

} // namespace handoff
