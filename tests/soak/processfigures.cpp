#include "processfigures.h"

#include <QDir>
#include <QFile>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

qint64 residentKb(const QString &proc)
{
    QFile status(proc + QStringLiteral("/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            // "VmRSS:	   123456 kB"
            bool ok = false;
            const qint64 kb = line.mid(6).trimmed().split(' ').value(0).toLongLong(&ok);
            return ok ? kb : -1;
        }
    }
    return -1;
}

int entriesOf(const QString &folder)
{
    const QDir dir(folder);
    if (!dir.exists())
        return -1;
    return int(dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).size());
}

QString signedNumber(qint64 n)
{
    return (n > 0 ? QStringLiteral("+") : QString()) + QString::number(n);
}

qint64 heapInUse()
{
#if defined(__GLIBC__)
    const struct mallinfo2 info = ::mallinfo2();
    return qint64(info.uordblks + info.hblkhd);
#else
    return -1;
#endif
}

} // namespace

ProcessFigures ProcessFigures::sample(const QString &when, qint64 done, double seconds, qint64 pid)
{
    const QString proc = pid > 0 ? QStringLiteral("/proc/%1").arg(pid) : QStringLiteral("/proc/self");
    ProcessFigures f;
    f.when = when;
    f.rssKb = residentKb(proc);
    if (pid <= 0)
        f.heapBytes = heapInUse();
    // Listing its own folder opens one descriptor, which is counted.
    f.fds = entriesOf(proc + QStringLiteral("/fd"));
    f.threads = entriesOf(proc + QStringLiteral("/task"));
    f.done = done;
    f.seconds = seconds;
    return f;
}

QString figureTable(const QList<ProcessFigures> &samples)
{
    QString table = QStringLiteral("  %1 %2 %3 %4 %5 %6 %7 %8\n")
                        .arg(QStringLiteral("sample"), -8)
                        .arg(QStringLiteral("done"), 8)
                        .arg(QStringLiteral("seconds"), 9)
                        .arg(QStringLiteral("RSS kB"), 10)
                        .arg(QStringLiteral("RSS change"), 12)
                        .arg(QStringLiteral("heap kB"), 9)
                        .arg(QStringLiteral("fds"), 6)
                        .arg(QStringLiteral("threads"), 8);
    if (samples.isEmpty())
        return table;
    const ProcessFigures &first = samples.constFirst();
    for (const ProcessFigures &f : samples) {
        const double growth =
            first.rssKb > 0 ? 100.0 * double(f.rssKb - first.rssKb) / double(first.rssKb) : 0;
        table +=
            QStringLiteral("  %1 %2 %3 %4 %5 %6 %7 %8\n")
                .arg(f.when, -8)
                .arg(f.done, 8)
                .arg(f.seconds, 9, 'f', 1)
                .arg(f.rssKb, 10)
                .arg(QStringLiteral("%1%2 %")
                         .arg(growth > 0 ? QStringLiteral("+") : QString())
                         .arg(growth, 0, 'f', 2),
                     12)
                .arg(f.heapBytes < 0 ? QStringLiteral("-") : QString::number(f.heapBytes / 1024), 9)
                .arg(QStringLiteral("%1 (%2)").arg(f.fds).arg(signedNumber(f.fds - first.fds)), 6)
                .arg(QStringLiteral("%1 (%2)").arg(f.threads).arg(signedNumber(f.threads - first.threads)),
                     8);
    }
    return table;
}

QString figureProblems(const QList<ProcessFigures> &samples, const FigureLimits &limits)
{
    if (samples.size() < 2)
        return QStringLiteral("fewer than two samples");
    const ProcessFigures &first = samples.constFirst();
    if (first.rssKb <= 0 || first.fds < 0 || first.threads < 0)
        return QStringLiteral("/proc/self could not be read");
    QStringList problems;
    for (const ProcessFigures &f : samples.sliced(1)) {
        const double growth = double(f.rssKb - first.rssKb) / double(first.rssKb);
        if (limits.checkRss && growth >= limits.rssGrowth)
            problems.append(QStringLiteral("RSS at %1 grew by %2 % (limit %3 %)")
                                .arg(f.when)
                                .arg(100 * growth, 0, 'f', 2)
                                .arg(100 * limits.rssGrowth, 0, 'f', 0));
        const qint64 requests = f.done - first.done;
        if (limits.checkRss && limits.heapPerRequest > 0 && first.heapBytes >= 0 && requests > 0) {
            const double perRequest = double(f.heapBytes - first.heapBytes) / double(requests);
            if (perRequest >= limits.heapPerRequest)
                problems.append(QStringLiteral("heap at %1 grew by %2 bytes a request (limit %3)")
                                    .arg(f.when)
                                    .arg(perRequest, 0, 'f', 1)
                                    .arg(limits.heapPerRequest, 0, 'f', 0));
        }
        if (std::abs(f.fds - first.fds) > limits.fdSlack)
            problems.append(QStringLiteral("open descriptors at %1: %2, %3 at the start (slack %4)")
                                .arg(f.when)
                                .arg(f.fds)
                                .arg(first.fds)
                                .arg(limits.fdSlack));
        if (std::abs(f.threads - first.threads) > limits.threadSlack)
            problems.append(QStringLiteral("threads at %1: %2, %3 at the start (slack %4)")
                                .arg(f.when)
                                .arg(f.threads)
                                .arg(first.threads)
                                .arg(limits.threadSlack));
    }
    return problems.join(QStringLiteral("; "));
}

qint64 soakSize(const char *variable, qint64 fallback)
{
    bool ok = false;
    const qint64 value = qEnvironmentVariable(variable).toLongLong(&ok);
    return ok && value >= 0 ? value : fallback;
}
