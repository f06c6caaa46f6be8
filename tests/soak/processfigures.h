#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// What a long run of this process may leak: resident memory, open file
// descriptors and threads, read from /proc/self.
struct ProcessFigures
{
    QString when;      // "start", "middle", "end"
    qint64 rssKb = -1; // VmRSS; -1 where /proc is not there
    // Bytes the allocator has handed out and not got back, of this process
    // only (-1 for another): unlike the resident memory, not blurred by
    // pages the allocator keeps, so a leak of a few bytes a request shows.
    qint64 heapBytes = -1;
    int fds = -1;       // entries of /proc/self/fd
    int threads = -1;   // entries of /proc/self/task
    qint64 done = 0;    // requests (or presses) finished when taken
    double seconds = 0; // since the run began

    // Of this process, or of another one by its id.
    [[nodiscard]] static ProcessFigures sample(const QString &when, qint64 done, double seconds,
                                               qint64 pid = 0);
};

// How much the figures may move between the first sample and the others.
struct FigureLimits
{
    double rssGrowth = 0.05; // as a share of the first sample
    // Bytes of heap kept per request done since the first sample; 0: not
    // judged (a run that fills caches keeps heap by design).
    double heapPerRequest = 0;
    int fdSlack = 0;
    int threadSlack = 0;
    bool checkRss = true; // not under AddressSanitizer, whose quarantine grows by design
};

// The samples as a table, one row each, with the change from the first.
[[nodiscard]] QString figureTable(const QList<ProcessFigures> &samples);

// Empty when every sample after the first stays within the limits;
// otherwise says which figure moved and by how much.
[[nodiscard]] QString figureProblems(const QList<ProcessFigures> &samples, const FigureLimits &limits);

// A size from the environment (e.g. TOLKA_SOAK_TRANSLATIONS), or the
// fallback when it is unset or not a number >= 0.
[[nodiscard]] qint64 soakSize(const char *variable, qint64 fallback);

// Whether this build runs under AddressSanitizer.
[[nodiscard]] constexpr bool underAddressSanitizer()
{
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#else
    return false;
#endif
#else
    return false;
#endif
}
