#include "pipedprocess.h"

#include <QThread>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <mutex>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

// A write to the input of a program that has already quit would otherwise
// end the service with SIGPIPE; the write then fails with EPIPE instead.
void ignoreBrokenPipes()
{
    static std::once_flag once;
    std::call_once(once, [] { std::signal(SIGPIPE, SIG_IGN); });
}

struct Pipe
{
    std::array<int, 2> fd{-1, -1};
    bool open() { return ::pipe2(fd.data(), O_CLOEXEC) == 0; }
    void close()
    {
        for (int &f : fd) {
            if (f >= 0)
                ::close(f);
            f = -1;
        }
    }
};

void closeFd(int &fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

// Reads what is there; closes the descriptor at the end of the output.
void drain(int &fd, short revents, QByteArray &sink)
{
    if (revents == 0)
        return;
    char buffer[16384];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0)
        sink.append(buffer, n);
    else if (n == 0 || (errno != EINTR && errno != EAGAIN))
        closeFd(fd);
}

// Milliseconds for poll: -1 for a deadline that never passes.
int pollMs(QDeadlineTimer deadline)
{
    const qint64 remaining = deadline.remainingTime();
    return remaining < 0 ? -1 : int(std::min<qint64>(remaining, 1000 * 60 * 60));
}

// How often a finished program is looked for once its outputs have closed.
constexpr int reapPollMs = 1;

} // namespace

PipedProcess::PipedProcess(const QString &program, const QStringList &arguments)
{
    ignoreBrokenPipes();
    Pipe in, out, err;
    if (!in.open() || !out.open() || !err.open()) {
        m_startError = QString::fromLocal8Bit(std::strerror(errno));
        in.close();
        out.close();
        err.close();
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in.fd[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out.fd[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err.fd[1], STDERR_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF);

    const QByteArray file = program.toLocal8Bit();
    std::vector<QByteArray> args{file};
    for (const QString &a : arguments)
        args.push_back(a.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const int spawned = posix_spawnp(&m_pid, file.constData(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0) {
        m_pid = -1;
        m_startError = QString::fromLocal8Bit(std::strerror(spawned));
        in.close();
        out.close();
        err.close();
        return;
    }
    m_in = std::exchange(in.fd[1], -1);
    m_out = std::exchange(out.fd[0], -1);
    m_err = std::exchange(err.fd[0], -1);
    in.close();
    out.close();
    err.close();
    ::fcntl(m_in, F_SETFL, ::fcntl(m_in, F_GETFL) | O_NONBLOCK);
}

PipedProcess::~PipedProcess()
{
    kill();
    closeAll();
}

bool PipedProcess::waiting()
{
    if (!started() || m_fed || m_reaped)
        return false;
    if (::waitpid(m_pid, &m_status, WNOHANG) == m_pid)
        m_reaped = true;
    return !m_reaped;
}

std::expected<PipedProcess::Output, PipedProcess::Failure> PipedProcess::finish(const QByteArray &input,
                                                                                QDeadlineTimer deadline)
{
    if (!started() || m_fed || m_reaped)
        return std::unexpected(Failure::NotStarted);
    m_fed = true;
    Output output;
    qsizetype written = 0;
    if (input.isEmpty())
        closeFd(m_in);
    while (m_in >= 0 || m_out >= 0 || m_err >= 0) {
        std::array<pollfd, 3> fds{{{m_in, POLLOUT, 0}, {m_out, POLLIN, 0}, {m_err, POLLIN, 0}}};
        const int ready = ::poll(fds.data(), fds.size(), pollMs(deadline));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0) {
            kill();
            return std::unexpected(Failure::Io);
        }
        if (ready == 0) {
            kill();
            return std::unexpected(Failure::Deadline);
        }
        if (fds[0].revents != 0) {
            const ssize_t n = ::write(m_in, input.constData() + written, size_t(input.size() - written));
            if (n > 0)
                written += n;
            // A program that stops reading early still gets its outputs read.
            if ((n < 0 && errno != EAGAIN && errno != EINTR) || written == input.size())
                closeFd(m_in);
        }
        drain(m_out, fds[1].revents, output.out);
        drain(m_err, fds[2].revents, output.err);
    }
    while (!m_reaped) {
        const pid_t done = ::waitpid(m_pid, &m_status, WNOHANG);
        if (done == m_pid || (done < 0 && errno != EINTR)) {
            m_reaped = done == m_pid;
            break;
        }
        if (deadline.hasExpired()) {
            kill();
            return std::unexpected(Failure::Deadline);
        }
        QThread::msleep(reapPollMs);
    }
    if (!m_reaped)
        return std::unexpected(Failure::Io);
    output.exitCode = WIFEXITED(m_status) ? WEXITSTATUS(m_status) : -1;
    return output;
}

void PipedProcess::kill()
{
    if (!started() || m_reaped)
        return;
    ::kill(-m_pid, SIGKILL);
    while (::waitpid(m_pid, &m_status, 0) < 0 && errno == EINTR) {
    }
    m_reaped = true;
}

void PipedProcess::closeAll()
{
    closeFd(m_in);
    closeFd(m_out);
    closeFd(m_err);
}
