#include "faultbench.h"

#include "clientstate.h"
#include "encoderpages.h"
#include "frame.h"
#include "messenger.h"
#include "serviceswitch.h"
#include "tts.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonValue>
#include <QTest>

#include <algorithm>

using namespace tolka::cloud;

namespace faultmatrix {

namespace {

// Room for a slow machine: an episode takes two seconds at most.
constexpr auto episodeWait = 15s;
// After a failure that is told and not resent, a wrong resend would come
// within the first pause (200 ms).
constexpr auto strayWait = 300ms;
constexpr auto pagePause = 15ms;

bool isTold(const MessageWindow::Message &m)
{
    return m.tag == QLatin1String("WARNING") ||
           (m.tag == QLatin1String("ERROR") && !m.value.toMap().contains(QStringLiteral("wait")));
}

QSslConfiguration serverTls(const TlsIdentity &identity)
{
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificate(identity.certificate);
    tls.setPrivateKey(identity.key);
    tls.setPeerVerifyMode(QSslSocket::VerifyNone);
    return tls;
}

} // namespace

bool FaultBench::start(QString *error)
{
    if (!m_fixture.start(error))
        return false;
    const QString folder = QFileInfo(m_fixture.caPath()).absolutePath();
    const std::optional<TlsIdentity> service =
        loadIdentity(m_fixture.caPath(), folder + QStringLiteral("/key.pem"), error);
    if (!service || !m_folder.isValid())
        return false;
    // A certificate of no authority the client knows, and one it knows that
    // has expired (trusted, so that its age is the only fault).
    QDir(m_folder.path()).mkpath(QStringLiteral("untrusted"));
    QDir(m_folder.path()).mkpath(QStringLiteral("expired"));
    const std::optional<TlsIdentity> untrusted =
        generateIdentity(m_folder.path() + QStringLiteral("/untrusted"), error);
    const std::optional<TlsIdentity> expired = generateIdentity(
        m_folder.path() + QStringLiteral("/expired"), error, Validity{-std::chrono::seconds(48h), -24h});
    if (!untrusted || !expired || !trustExtraCaFile(expired->caPath))
        return false;
    m_untrusted = serverTls(*untrusted);
    m_expired = serverTls(*expired);
    m_oldTls = serverTls(*service);
    m_oldTls.setProtocol(QSsl::TlsV1_2);

    m_proxy = std::make_unique<FaultProxy>(serverTls(*service), m_fixture.service().port());
    m_proxy->setStall(stall);
    if (!m_proxy->start()) {
        *error = QStringLiteral("the fault proxy cannot listen");
        return false;
    }
    setTransferTimeout(timeout);
    // Rebuilds the templates (with the timeout and the extra CA) for the proxy.
    useService(currentCredentials(), QUrl(m_proxy->origin()));
    m_sink.connectToHub();
    tts client;
    client.setFastTranscribe("en-US");
    client.setSpeechLanguage("es-ES");
    // The connections opened ahead are up before the first row drops them.
    QTest::qWait(100);
    return true;
}

void FaultBench::reset()
{
    m_fixture.reset();
    m_window.messages.clear();
    m_sink.clear();
    m_trouble = Trouble::None;
    // Fresh connections for every row: a connection-level fault must meet
    // the row's first request, and no row may inherit another's connection.
    m_proxy->dropConnections();
    if (clientState().networkManager)
        clientState().networkManager->clearAccessCache();
    QTest::qWait(20);
}

void FaultBench::prepare(Trouble trouble)
{
    m_trouble = trouble;
    switch (trouble) {
    case Trouble::None:
        break;
    case Trouble::Refused:
        m_proxy->refuse(true);
        break;
    case Trouble::OldTls:
        m_proxy->offerNextConnection(m_oldTls);
        break;
    case Trouble::Untrusted:
        m_proxy->offerNextConnection(m_untrusted);
        break;
    case Trouble::Expired:
        m_proxy->offerNextConnection(m_expired);
        break;
    }
}

void FaultBench::speak(const QByteArray &recording, bool streamed, Trouble trouble)
{
    if (!streamed) {
        tts().onRecording(recording);
        return;
    }
    const QList<QByteArray> pages = pagesOf(recording);
    for (qsizetype i = 0; i + 1 < pages.size(); ++i) {
        messenger::instance()->recordingPages.fire(pages[i]);
        QTest::qWait(pagePause);
        if (i == 0 && trouble == Trouble::Refused) {
            // The upload's connection was refused: listening again, the
            // recording's own resend finds the service.
            const bool refused = QTest::qWaitFor([] { return clientState().failureCount == 1; }, episodeWait);
            m_proxy->refuse(false);
            if (!refused)
                qWarning("the refused upload was not counted as a failure");
        }
    }
    messenger::instance()->recordingReady.fire(recording);
}

bool FaultBench::run(Target target)
{
    tts client;
    switch (target) {
    case Target::Translation:
        client.ttrad("a fault row");
        break;
    case Target::StreamedRecognition:
    case Target::WholeRecognition:
        speak(oggOpusRecording(++m_seed), target == Target::StreamedRecognition, m_trouble);
        break;
    case Target::Synthesis:
        client.tvoice("a fault row", "es-ES-ElviraNeural");
        break;
    }
    if (m_trouble == Trouble::Refused && target != Target::StreamedRecognition) {
        // Refused at once: listening again before the resend's pause is over.
        const bool refused = QTest::qWaitFor([] { return clientState().failureCount == 1; }, episodeWait);
        m_proxy->refuse(false);
        if (!refused)
            return false;
    }
    if (!QTest::qWaitFor([&] { return ended(target); }, episodeWait))
        return false;
    if (std::ranges::any_of(m_window.messages, isTold))
        QTest::qWait(strayWait);
    return true;
}

bool FaultBench::ended(Target target) const
{
    if (std::ranges::any_of(m_window.messages, isTold))
        return true;
    switch (target) {
    case Target::Translation:
        return m_window.count(QStringLiteral("TRAD")) > 0;
    case Target::StreamedRecognition:
    case Target::WholeRecognition:
        return m_window.count(QStringLiteral("SPEECH")) > 0;
    case Target::Synthesis:
        return !m_sink.received.isEmpty();
    }
    return false;
}

QStringList FaultBench::trace() const
{
    QStringList trace;
    for (const MessageWindow::Message &m : m_window.messages) {
        if (m.tag == QLatin1String("ERROR")) {
            const QVariantMap error = m.value.toMap();
            QString item = QStringLiteral("ERROR:%1:%2")
                               .arg(error.value(QStringLiteral("failure")).toString())
                               .arg(error.value(QStringLiteral("status")).toInt());
            if (error.contains(QStringLiteral("wait")))
                item += QStringLiteral(":wait%1").arg(error.value(QStringLiteral("wait")).toLongLong());
            trace.append(item);
        } else if (m.value.typeId() == QMetaType::Bool) {
            trace.append(m.tag + (m.value.toBool() ? QStringLiteral(":true") : QStringLiteral(":false")));
        } else {
            // A result must carry text: an undefined one is a failure taken for success.
            const bool text =
                m.value.value<QJsonValue>().isString() && !m.value.value<QJsonValue>().toString().isEmpty();
            trace.append(text ? m.tag : m.tag + QStringLiteral(":undefined"));
        }
    }
    return trace;
}

QString FaultBench::keys() const
{
    QString keys;
    for (const LoggedRequest &r : sendsSeen())
        keys += r.keyRole.endsWith(QLatin1String("-primary"))  ? u'P'
                : r.keyRole.endsWith(QLatin1String("-backup")) ? u'B'
                                                               : u'?';
    return keys;
}

qint64 FaultBench::firstWait() const
{
    const QList<LoggedRequest> &sends = sendsSeen();
    if (sends.size() < 2)
        return -1;
    // A streamed send ends with its last piece, the others as they arrive.
    const LoggedRequest &first = sends.at(0);
    const qint64 end = first.streamed && !first.pieces.isEmpty() ? first.pieces.constLast().atMs : 0;
    return first.arrival.msecsTo(sends.at(1).arrival) - end;
}

bool FaultBench::check(Target target, const Outcome &expected, QString *error)
{
    QStringList wrong;
    const qsizetype sends = m_fixture.service().log().entries().size();
    if (sends != expected.sends)
        wrong << QStringLiteral("%1 sends, expected %2").arg(sends).arg(expected.sends);
    if (keys() != expected.keys)
        wrong << QStringLiteral("keys %1, expected %2").arg(keys(), expected.keys);
    // Arrival times are read at millisecond resolution on both sides.
    constexpr qint64 clockSlack = 5;
    if (expected.waitMs >= 0 && firstWait() < expected.waitMs - clockSlack)
        wrong << QStringLiteral("resent after %1 ms, expected at least %2")
                     .arg(firstWait())
                     .arg(expected.waitMs);
    if (trace() != expected.trace)
        wrong << QStringLiteral("messages [%1], expected [%2]")
                     .arg(trace().join(u' '), expected.trace.join(u' '));
    if (target == Target::Synthesis) {
        const bool told = std::ranges::any_of(expected.trace, [](const QString &item) {
            return item.startsWith(QLatin1String("ERROR")) && !item.contains(QLatin1String(":wait"));
        });
        const bool spoke = expected.partial || !told;
        if (m_sink.received.size() != (spoke ? 1 : 0))
            wrong << QStringLiteral("%1 replies spoken").arg(m_sink.received.size());
        if (m_sink.disorders != 0 || m_sink.partialPieces != 0)
            wrong << QStringLiteral("pieces out of order or not whole packets");
    }
    if (clientState().failureCount != 0)
        wrong << QStringLiteral("failure count left at %1").arg(clientState().failureCount);
    *error = wrong.join(QStringLiteral("; "));
    return wrong.isEmpty();
}

bool FaultBench::recovers(Target target, QString *error)
{
    const QByteArray spoken = m_sink.received.value(0);
    m_fixture.service().log().clear();
    m_window.messages.clear();
    m_sink.clear();
    m_trouble = Trouble::None;
    if (!run(target)) {
        *error = QStringLiteral("no answer: [%1]").arg(trace().join(u' '));
        return false;
    }
    const QStringList result = target == Target::Translation ? QStringList{QStringLiteral("TRAD")}
                               : target == Target::Synthesis
                                   ? QStringList{}
                                   : QStringList{QStringLiteral("BUSY:true"), QStringLiteral("BUSY:false"),
                                                 QStringLiteral("SPEECH")};
    QStringList wrong;
    if (trace() != result)
        wrong << QStringLiteral("messages [%1]").arg(trace().join(u' '));
    if (m_fixture.service().log().entries().size() != 1)
        wrong << QStringLiteral("%1 sends").arg(m_fixture.service().log().entries().size());
    if (target == Target::Synthesis) {
        if (m_sink.received.size() != 1)
            wrong << QStringLiteral("%1 replies spoken").arg(m_sink.received.size());
        else if (!spoken.isEmpty() && spoken.size() > m_sink.received.constFirst().size())
            wrong << QStringLiteral("the fault's reply was longer than a whole one");
    }
    *error = wrong.join(QStringLiteral("; "));
    return wrong.isEmpty();
}

} // namespace faultmatrix
