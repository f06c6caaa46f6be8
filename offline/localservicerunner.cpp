#include "localservicerunner.h"

#include "firstframegate.h"
#include "offlinelogging.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>
#endif

namespace {

constexpr QLatin1StringView caLine("CA certificate: ");
constexpr QLatin1StringView listeningLine("listening on ");
// The last lines of the service's error output kept for a failure report.
constexpr qsizetype keptErrorBytes = 2000;

QString executable(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable() ? info.absoluteFilePath() : QString();
}

} // namespace

LocalServiceRunner::LocalServiceRunner(QString program, QObject *parent)
    : QObject(parent), m_program(std::move(program))
{
    m_startTimer.setSingleShot(true);
    connect(&m_startTimer, &QTimer::timeout, this, [this] {
        fail(QStringLiteral("the offline engines did not start within %1 s").arg(startLimit.count()));
    });
}

LocalServiceRunner::~LocalServiceRunner()
{
    stop();
}

QString LocalServiceRunner::findProgram()
{
    const QString given = qEnvironmentVariable("TOLKA_LOCALSERVICE");
    if (!given.isEmpty())
        return executable(given);
#ifdef Q_OS_WIN
    const QString name = QStringLiteral("tolka-localservice.exe");
#else
    const QString name = QStringLiteral("tolka-localservice");
#endif
    const QDir here(QCoreApplication::applicationDirPath());
    for (const QString &candidate :
         {here.filePath(name), here.filePath(QStringLiteral("../libexec/tolka/") + name),
          here.filePath(QStringLiteral("localservice/") + name)}) {
        if (const QString found = executable(candidate); !found.isEmpty())
            return found;
    }
    return {};
}

void LocalServiceRunner::start()
{
    if (m_state == State::Starting || m_state == State::Running)
        return;
    m_origin.clear();
    m_caFile.clear();
    m_failure.clear();
    m_errors.clear();
    if (m_program.isEmpty()) {
        fail(QStringLiteral("the offline engines (tolka-localservice) are not installed"));
        return;
    }
    // The certificate of this run goes into a folder only this run uses.
    m_folder = std::make_unique<QTemporaryDir>();
    if (!m_folder->isValid()) {
        fail(QStringLiteral("no temporary folder for the offline engines' certificate"));
        return;
    }
    m_process = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TMPDIR"), m_folder->path());
    environment.insert(QStringLiteral("TMP"), m_folder->path());
    environment.insert(QStringLiteral("TEMP"), m_folder->path());
    m_process->setProcessEnvironment(environment);
    m_process->setProgram(m_program);
#ifdef Q_OS_LINUX
    // The engines go with Tolka even when it ends without stopping them
    // (killed, crashed); started from the GUI thread, which lives as long.
    m_process->setChildProcessModifier([parent = ::getpid()] {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) // it ended before the line above
            ::_exit(1);
    });
#endif
    m_process->setArguments({QStringLiteral("--engines"), QStringLiteral("offline"), QStringLiteral("--port"),
                             QStringLiteral("0"), QStringLiteral("--quiet")});
    connect(m_process.get(), &QProcess::readyReadStandardOutput, this, &LocalServiceRunner::readOutput);
    connect(m_process.get(), &QProcess::readyReadStandardError, this, [this] {
        m_errors.append(m_process->readAllStandardError());
        m_errors = m_errors.right(keptErrorBytes);
    });
    connect(m_process.get(), &QProcess::finished, this, &LocalServiceRunner::onFinished);
    connect(m_process.get(), &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            fail(QStringLiteral("cannot run %1: %2").arg(m_program, m_process->errorString()));
    });
    m_state = State::Starting;
    m_startTimer.start(startLimit);
    qCInfo(lcOffline) << "starting the offline engines:" << m_program;
    // Launched once the window's first frame is drawn: the engines' own
    // start-up would compete with it for the processor. Dropped when the
    // runner has stopped or failed in the meantime.
    QProcess *process = m_process.get();
    tolka::afterFirstFrame(process, [this, process] {
        if (m_process.get() == process && m_state == State::Starting)
            process->start();
    });
}

void LocalServiceRunner::readOutput()
{
    while (m_process && m_process->canReadLine()) {
        const QString line = QString::fromUtf8(m_process->readLine()).trimmed();
        if (line.startsWith(caLine))
            m_caFile = line.mid(caLine.size());
        else if (line.startsWith(listeningLine))
            m_origin = QUrl(line.mid(listeningLine.size()));
    }
    if (m_state == State::Starting && m_origin.isValid() && !m_caFile.isEmpty()) {
        m_startTimer.stop();
        m_state = State::Running;
        qCInfo(lcOffline) << "offline engines listening on" << m_origin.toString();
        emit ready();
    }
}

void LocalServiceRunner::onFinished(int exitCode, QProcess::ExitStatus status)
{
    const QString how = status == QProcess::CrashExit
                            ? QStringLiteral("crashed")
                            : QStringLiteral("ended with exit code %1").arg(exitCode);
    const QByteArray errors = m_errors.trimmed();
    if (m_state == State::Starting) {
        fail(QStringLiteral("the offline engines %1 before they started%2")
                 .arg(how, errors.isEmpty() ? QString() : QStringLiteral(": ") + QString::fromUtf8(errors)));
        return;
    }
    if (m_state != State::Running)
        return;
    m_state = State::Stopped;
    qCWarning(lcOffline).noquote() << "the offline engines" << how
                                   << "; they start again at the next request";
    emit exited(how);
}

void LocalServiceRunner::fail(const QString &why)
{
    m_startTimer.stop();
    if (m_process) {
        m_process->disconnect(this);
        m_process->kill();
        m_process->waitForFinished(int(std::chrono::milliseconds(stopLimit).count()));
        // Perhaps inside one of its own signals: deleted once that returns.
        m_process.release()->deleteLater();
    }
    m_state = State::Failed;
    m_failure = why;
    qCWarning(lcOffline).noquote() << why;
    emit failed(why);
}

void LocalServiceRunner::stop()
{
    m_startTimer.stop();
    if (m_process) {
        m_process->disconnect(this);
        m_process->terminate();
        if (!m_process->waitForFinished(int(std::chrono::milliseconds(stopLimit).count()))) {
            m_process->kill();
            m_process->waitForFinished(int(std::chrono::milliseconds(stopLimit).count()));
        }
        m_process.reset();
        qCInfo(lcOffline) << "offline engines stopped";
    }
    m_folder.reset();
    if (m_state != State::Failed)
        m_state = State::Stopped;
}
