#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>
#include <QStringList>

#include <expected>
#include <sys/types.h>

// A program started before its input is known, so that its own start-up
// (apertium's pipeline loads all its transducers) is paid ahead of the
// request. It runs in a process group of its own, and the whole group is
// killed when the object goes without the program having finished. Usable
// from any thread, one at a time.
class PipedProcess final
{
public:
    struct Output
    {
        int exitCode = -1; // -1 when a signal ended the program
        QByteArray out;
        QByteArray err;
    };
    enum class Failure
    {
        NotStarted,
        Deadline,
        Io
    };

    PipedProcess(const QString &program, const QStringList &arguments);
    ~PipedProcess();
    PipedProcess(const PipedProcess &) = delete;
    PipedProcess &operator=(const PipedProcess &) = delete;

    [[nodiscard]] bool started() const { return m_pid > 0; }
    [[nodiscard]] const QString &startError() const { return m_startError; }
    // Still waiting for its input: started, not fed, not ended on its own.
    [[nodiscard]] bool waiting();

    // Writes the input, closes it, and collects both outputs until the
    // program ends; by the deadline at the latest (then it is killed).
    // Once only, and not after waiting() saw the program end.
    [[nodiscard]] std::expected<Output, Failure> finish(const QByteArray &input, QDeadlineTimer deadline);

private:
    void closeAll();
    void kill();

    pid_t m_pid = -1;
    int m_in = -1;
    int m_out = -1;
    int m_err = -1;
    bool m_fed = false;
    bool m_reaped = false;
    int m_status = 0;
    QString m_startError;
};
