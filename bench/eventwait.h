#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>

// Runs the event loop until `done` or the time-out. Unlike QTest::qWaitFor,
// which sleeps 10 ms between rounds of events, it sleeps only until the next
// event: every hand-off between the HTTP thread and this one would otherwise
// wait up to those 10 ms, which the application itself never does.
template <typename Done> bool runUntil(Done done, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    QTimer wake; // so that the deadline and `done` are seen even when nothing happens
    wake.start(20);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return done();
}
