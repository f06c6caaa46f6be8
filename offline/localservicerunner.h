#pragma once

#include <QObject>
#include <QProcess>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <memory>

class QTemporaryDir;

// Runs the local service with its offline engines as a child process: on a
// free loopback port, with a certificate made for this run in a folder of
// its own, until stopped (or the runner is destroyed).
class LocalServiceRunner : public QObject
{
    Q_OBJECT
public:
    enum class State
    {
        Stopped,
        Starting,
        Running,
        Failed
    };
    Q_ENUM(State)

    // How long the service may take to say where it listens.
    static constexpr std::chrono::seconds startLimit{30};
    // How long it is given to stop before it is killed.
    static constexpr std::chrono::seconds stopLimit{3};

    explicit LocalServiceRunner(QString program, QObject *parent = nullptr);
    ~LocalServiceRunner() override;

    // Starts the service unless it is starting or running.
    void start();
    void stop();

    [[nodiscard]] State state() const { return m_state; }
    // Valid while running: where it listens and the certificate to trust.
    [[nodiscard]] QUrl origin() const { return m_origin; }
    [[nodiscard]] QString caFile() const { return m_caFile; }
    // Why the last start failed, in a line.
    [[nodiscard]] QString failure() const { return m_failure; }
    [[nodiscard]] qint64 processId() const { return m_process ? m_process->processId() : 0; }

    // The service program: TOLKA_LOCALSERVICE when set, else next to the
    // application, in its libexec folder or in the build tree; empty when
    // none is found.
    [[nodiscard]] static QString findProgram();

signals:
    void ready();
    void failed(const QString &why);
    // The service ended by itself after it had started.
    void exited(const QString &why);

private:
    void readOutput();
    void onFinished(int exitCode, QProcess::ExitStatus status);
    void fail(const QString &why);

    QString m_program;
    std::unique_ptr<QProcess> m_process;
    std::unique_ptr<QTemporaryDir> m_folder;
    QTimer m_startTimer;
    State m_state = State::Stopped;
    QUrl m_origin;
    QString m_caFile;
    QString m_failure;
    QByteArray m_errors;
};
