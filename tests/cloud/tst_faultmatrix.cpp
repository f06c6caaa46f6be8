// The client against the faults of networks and services, each for
// translation, recognition (streamed while the user speaks, and whole) and
// synthesis: how many sends reach the service, with which key, how long the
// client waits before resending, what the interface is told, and that the
// next request after the fault is answered normally.
#include "faultbench.h"

#include "clientstate.h"
#include "replyscript.h"

#include <QRegularExpression>
#include <QTest>

using namespace faultmatrix;
using Fault = FaultProxy::Fault;

namespace {

struct Row
{
    Target target = Target::Translation;
    Trouble trouble = Trouble::None;
    Fault fault = Fault::None;
    std::optional<ScriptedReply> scripted;
    Outcome expected;
};

// How the client ought to take a fault, for every target.
enum class Taken
{
    Resent,       // resent after the growing pause (or a given wait), with the backup key
    ResentAtOnce, // a rejected key: the backup key at once
    Unreached,    // nothing reached the service; the resend did
    Throttled,    // resent after the wait the interface is told
    Stopped,      // not resent; the interface is told
    BrokenSpeech, // synthesis: audio went out before the break; told, not resent
};

constexpr qint64 firstPause = 200;
// The timeout runs from the post, the first send's arrival is logged after
// the connection's set-up: a quarter of it is left as room.
constexpr qint64 afterTimeout = qint64(timeout.count()) * 3 / 4 + firstPause;

bool isRecognition(Target target)
{
    return target == Target::StreamedRecognition || target == Target::WholeRecognition;
}

// One send's messages: recognition brackets each in BUSY.
QStringList around(Target target, const QStringList &told = {})
{
    if (!isRecognition(target))
        return told;
    return QStringList{QStringLiteral("BUSY:true"), QStringLiteral("BUSY:false")} + told;
}

QString result(Target target)
{
    return target == Target::Translation ? QStringLiteral("TRAD") : QStringLiteral("SPEECH");
}

QStringList answered(Target target)
{
    return target == Target::Synthesis ? QStringList{} : QStringList{result(target)};
}

Outcome expect(Taken taken, Target target, qint64 wait = firstPause, const QString &told = {})
{
    switch (taken) {
    case Taken::Resent:
    case Taken::ResentAtOnce:
        return {2, QStringLiteral("PB"), taken == Taken::Resent ? wait : 0,
                around(target) + around(target) + answered(target), false};
    case Taken::Unreached:
        // A streamed upload that cannot start is silent: the whole
        // recording follows at its end, as the only send.
        return {1, QStringLiteral("B"), -1,
                (target == Target::StreamedRecognition ? QStringList{} : around(target)) + around(target) +
                    answered(target),
                false};
    case Taken::Throttled:
        return {2, QStringLiteral("PB"), wait, around(target, {told}) + around(target) + answered(target),
                false};
    case Taken::Stopped:
        return {1, QStringLiteral("P"), -1, around(target, {told}), false};
    case Taken::BrokenSpeech:
        return {1, QStringLiteral("P"), -1, {told}, true};
    }
    return {};
}

const QList<std::pair<Target, const char *>> &targets()
{
    static const QList<std::pair<Target, const char *>> all{
        {Target::Translation, "translation"},
        {Target::StreamedRecognition, "streamed recognition"},
        {Target::WholeRecognition, "whole recognition"},
        {Target::Synthesis, "synthesis"}};
    return all;
}

void addRow(const char *fault, const char *target, const Row &row)
{
    QTest::newRow(
        qPrintable(QStringLiteral("%1, %2").arg(QLatin1StringView(fault), QLatin1StringView(target))))
        << row.target << int(row.trouble) << int(row.fault) << row.scripted.value_or(ScriptedReply())
        << row.scripted.has_value() << row.expected;
}

ScriptedReply errorReply(int status, const QByteArray &code)
{
    return ScriptedReply::withBody(status, R"({"error":{"code":)" + code + R"(,"message":"scripted"}})");
}

} // namespace

Q_DECLARE_METATYPE(Target)
Q_DECLARE_METATYPE(Outcome)
Q_DECLARE_METATYPE(ScriptedReply)

class FaultMatrixTest : public QObject
{
    Q_OBJECT
    FaultBench bench;

    void columns()
    {
        QTest::addColumn<Target>("target");
        QTest::addColumn<int>("trouble");
        QTest::addColumn<int>("fault");
        QTest::addColumn<ScriptedReply>("scripted");
        QTest::addColumn<bool>("hasScript");
        QTest::addColumn<Outcome>("expected");
    }

    // One fault for every target, taken the same way by each.
    void allTargets(const char *name, Trouble trouble, Fault fault, std::optional<ScriptedReply> scripted,
                    Taken taken, qint64 wait = firstPause, const QString &told = {})
    {
        for (const auto &[target, targetName] : targets())
            addRow(name, targetName, {target, trouble, fault, scripted, expect(taken, target, wait, told)});
    }

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(bench.start(&error), qPrintable(error));
    }

    void init()
    {
        // Reading a reply that a timeout closed draws Qt's warning: never again.
        // (Qt's own HTTP/2 connection reads its socket once more after a
        // GOAWAY closed it, and says so for the socket: not the client's doing.)
        QTest::failOnWarning(
            QRegularExpression(QStringLiteral(R"(QIODevice::\w+ \(QNetworkReply\w*\): device not open)")));
        bench.reset();
    }

    void networkFaults_data()
    {
        columns();
        allTargets("connection refused", Trouble::Refused, Fault::None, {}, Taken::Unreached);
        allTargets("TLS handshake failure", Trouble::OldTls, Fault::None, {}, Taken::Unreached);
        allTargets("untrusted certificate", Trouble::Untrusted, Fault::None, {}, Taken::Unreached);
        allTargets("expired certificate", Trouble::Expired, Fault::None, {}, Taken::Unreached);
        allTargets("reset before the headers", Trouble::None, Fault::ResetBeforeHeaders, {}, Taken::Resent);
        allTargets("reset during the headers", Trouble::None, Fault::ResetDuringHeaders, {}, Taken::Resent);
        allTargets("headers slower than the timeout", Trouble::None, Fault::SlowHeaders, {}, Taken::Resent,
                   afterTimeout);
        allTargets("body slower than the timeout", Trouble::None, Fault::SlowBody, {}, Taken::Resent,
                   afterTimeout);
        // Audio already handed on to the speaker cannot be taken back: a
        // synthesis that breaks after its first packets keeps them and is
        // not resent (that would speak its start twice).
        for (const auto &[target, targetName] : targets()) {
            const Taken broken = target == Target::Synthesis ? Taken::BrokenSpeech : Taken::Resent;
            addRow("reset after the headers", targetName,
                   {target,
                    Trouble::None,
                    Fault::ResetAfterHeaders,
                    {},
                    expect(broken, target, firstPause, QStringLiteral("ERROR:transient:200"))});
            addRow("truncated body", targetName,
                   {target,
                    Trouble::None,
                    Fault::TruncatedBody,
                    {},
                    expect(broken, target, firstPause, QStringLiteral("ERROR:transient:200"))});
        }
        // HTTP/2 only: recognition as it is resent, whole.
        for (const auto &[target, targetName] : targets()) {
            if (target == Target::StreamedRecognition)
                continue;
            addRow("HTTP/2 GOAWAY", targetName,
                   {target, Trouble::None, Fault::GoAway, {}, expect(Taken::Resent, target)});
            addRow("HTTP/2 RST_STREAM", targetName,
                   {target, Trouble::None, Fault::StreamReset, {}, expect(Taken::Resent, target)});
        }
    }

    void networkFaults() { runRow(); }

    void statusFaults_data()
    {
        columns();
        allTargets("401", Trouble::None, Fault::None, errorReply(401, "401000"), Taken::ResentAtOnce);
        allTargets("403", Trouble::None, Fault::None, errorReply(403, "403000"), Taken::ResentAtOnce);
        allTargets("404", Trouble::None, Fault::None, errorReply(404, "404000"), Taken::Stopped, -1,
                   QStringLiteral("ERROR:badRequest:404"));
        allTargets("408", Trouble::None, Fault::None, errorReply(408, "408000"), Taken::Resent);
        allTargets("413", Trouble::None, Fault::None, errorReply(413, "413000"), Taken::Stopped, -1,
                   QStringLiteral("ERROR:badRequest:413"));
        allTargets("415", Trouble::None, Fault::None, errorReply(415, "415000"), Taken::Stopped, -1,
                   QStringLiteral("ERROR:badRequest:415"));
        ScriptedReply retryAfter = errorReply(429, "429000");
        retryAfter.headers.append(QHttpHeaders::WellKnownHeader::RetryAfter, "1");
        allTargets("429 with Retry-After", Trouble::None, Fault::None, retryAfter, Taken::Throttled, 1000,
                   QStringLiteral("ERROR:throttled:429:wait1000"));
        allTargets("429 without Retry-After", Trouble::None, Fault::None, errorReply(429, "429000"),
                   Taken::Throttled, firstPause, QStringLiteral("ERROR:throttled:429:wait200"));
        allTargets("500", Trouble::None, Fault::None, errorReply(500, "500000"), Taken::Resent);
        allTargets("502", Trouble::None, Fault::None, errorReply(502, "502000"), Taken::Resent);
        allTargets("503", Trouble::None, Fault::None, errorReply(503, "503000"), Taken::Resent);
        // A page of something between (a captive portal, say) where the
        // service's answer should be.
        ScriptedReply portal =
            ScriptedReply::withBody(200, "<html><body>Sign in to use this network</body></html>");
        portal.contentType = "text/html; charset=utf-8";
        allTargets("wrong content type", Trouble::None, Fault::None, portal, Taken::Resent);
        // Far more than any answer of these services: not read to the end.
        constexpr qsizetype huge = 20 * 1024 * 1024;
        // Audio whole, with its length, so that the bound is known at the
        // head (20 MB in pieces takes the local service far too long).
        ScriptedReply hugeAudio = ScriptedReply::withBody(200, QByteArray(huge, 'a'));
        hugeAudio.whole = true;
        for (const auto &[target, targetName] : targets())
            addRow("a 20 MB body", targetName,
                   {target, Trouble::None, Fault::None,
                    target == Target::Synthesis ? hugeAudio
                                                : ScriptedReply::withBody(200, QByteArray(huge, 'a')),
                    expect(Taken::Stopped, target, -1, QStringLiteral("ERROR:tooLarge:200"))});
    }

    void statusFaults() { runRow(); }

private:
    void runRow()
    {
        QFETCH(Target, target);
        QFETCH(int, trouble);
        QFETCH(int, fault);
        QFETCH(ScriptedReply, scripted);
        QFETCH(bool, hasScript);
        QFETCH(Outcome, expected);
        if (hasScript) {
            const Operation operation = target == Target::Translation ? Operation::Translation
                                        : target == Target::Synthesis ? Operation::Synthesis
                                                                      : Operation::Recognition;
            bench.fixture().service().script().push(operation, scripted);
        }
        bench.prepare(Trouble(trouble));
        const int struckBefore = bench.proxy().struck();
        if (Fault(fault) != Fault::None)
            bench.proxy().breakNextResponse(Fault(fault));
        QVERIFY2(bench.run(target), qPrintable(bench.trace().join(u' ')));
        // The fault did strike: a row whose fault missed proves nothing.
        if (Fault(fault) != Fault::None || Trouble(trouble) == Trouble::OldTls ||
            Trouble(trouble) == Trouble::Untrusted || Trouble(trouble) == Trouble::Expired)
            QCOMPARE(bench.proxy().struck(), struckBefore + 1);
        if (hasScript)
            QCOMPARE(bench.fixture().service().script().pending(Operation::Translation) +
                         bench.fixture().service().script().pending(Operation::Recognition) +
                         bench.fixture().service().script().pending(Operation::Synthesis),
                     0);
        QString error;
        QVERIFY2(bench.check(target, expected, &error), qPrintable(error));
        QVERIFY2(bench.recovers(target, &error), qPrintable(QStringLiteral("no recovery: ") + error));
    }
};

QTEST_MAIN(FaultMatrixTest)
#include "tst_faultmatrix.moc"
