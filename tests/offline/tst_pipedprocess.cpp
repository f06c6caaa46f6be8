// Programs started ahead of their input: outputs, exit codes, deadlines,
// inputs larger than a pipe holds, and the process group killed with them.
#include "pipedprocess.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {

constexpr QDeadlineTimer::ForeverConstant noDeadline = QDeadlineTimer::Forever;

QStringList shell(const QString &script)
{
    return {QStringLiteral("-c"), script};
}

// Gone, or a zombie waiting for whoever adopted it: either way not running.
bool running(const QByteArray &pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(QString::fromLatin1(pid)));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    return close > 0 && line.mid(close + 2, 1) != "Z";
}

} // namespace

class PipedProcessTest : public QObject
{
    Q_OBJECT

private slots:
    void outputsAndExitCodeComeBack()
    {
        PipedProcess process(QStringLiteral("sh"), shell(QStringLiteral("read line; echo \"out:$line\"; "
                                                                        "echo oops >&2; exit 3")));
        QVERIFY(process.started());
        QVERIFY(process.waiting());
        const auto output = process.finish("hello\n", noDeadline);
        QVERIFY(output);
        QCOMPARE(output->out, QByteArray("out:hello\n"));
        QCOMPARE(output->err, QByteArray("oops\n"));
        QCOMPARE(output->exitCode, 3);
        QVERIFY(!process.waiting());
        QCOMPARE(process.finish("again", noDeadline).error(), PipedProcess::Failure::NotStarted);
    }

    void inputsLargerThanAPipeDoNotDeadlock()
    {
        QByteArray input(3 * 1024 * 1024, '\0');
        for (qsizetype i = 0; i < input.size(); ++i)
            input[i] = char('a' + i % 26);
        PipedProcess echo(QStringLiteral("cat"), {});
        const auto echoed = echo.finish(input, QDeadlineTimer(60000));
        QVERIFY(echoed);
        QCOMPARE(echoed->out.size(), input.size());
        QVERIFY(echoed->out == input);

        // A program that quits without reading: the service must not die of SIGPIPE.
        PipedProcess deaf(QStringLiteral("true"), {});
        const auto ignored = deaf.finish(input, QDeadlineTimer(60000));
        QVERIFY(ignored);
        QCOMPARE(ignored->exitCode, 0);
    }

    void aMissingProgramIsNotStarted()
    {
        PipedProcess missing(QStringLiteral("tolka-no-such-program"), {});
        QVERIFY(!missing.started());
        QVERIFY(!missing.startError().isEmpty());
        QVERIFY(!missing.waiting());
        QCOMPARE(missing.finish("x", noDeadline).error(), PipedProcess::Failure::NotStarted);
    }

    void theDeadlineKillsTheWholeGroup()
    {
        QTemporaryDir dir;
        const QString pidFile = dir.filePath(QStringLiteral("pid"));
        PipedProcess stuck(QStringLiteral("sh"),
                           shell(QStringLiteral("sleep 60 & echo $! > '%1'; wait").arg(pidFile)));
        QTRY_VERIFY_WITH_TIMEOUT(QFile(pidFile).size() > 0, 10000);
        QFile file(pidFile);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray child = file.readAll().trimmed();
        QVERIFY(running(child));
        QCOMPARE(stuck.finish("ignored", QDeadlineTimer(100)).error(), PipedProcess::Failure::Deadline);
        QTRY_VERIFY_WITH_TIMEOUT(!running(child), 10000);
    }

    void destroyingAnUnfedProcessKillsItsGroup()
    {
        QTemporaryDir dir;
        const QString pidFile = dir.filePath(QStringLiteral("pid"));
        QByteArray child;
        {
            PipedProcess spare(QStringLiteral("sh"),
                               shell(QStringLiteral("sleep 60 & echo $! > '%1'; wait").arg(pidFile)));
            QTRY_VERIFY_WITH_TIMEOUT(QFile(pidFile).size() > 0, 10000);
            QFile file(pidFile);
            QVERIFY(file.open(QIODevice::ReadOnly));
            child = file.readAll().trimmed();
            QVERIFY(running(child));
        }
        QTRY_VERIFY_WITH_TIMEOUT(!running(child), 10000);
    }

    void aProgramThatEndsOnItsOwnIsNoLongerWaiting()
    {
        PipedProcess quitter(QStringLiteral("sh"), shell(QStringLiteral("kill -9 $$")));
        QTRY_VERIFY_WITH_TIMEOUT(!quitter.waiting(), 10000);
        QCOMPARE(quitter.finish("x", noDeadline).error(), PipedProcess::Failure::NotStarted);
    }
};

QTEST_GUILESS_MAIN(PipedProcessTest)
#include "tst_pipedprocess.moc"
