// Set-up of the client: meta-object, init once, pre-connection, TLS
// verification, and the log of failed replies.
#include "cloudfixture.h"

#include "clientstate.h"
#include "keys.h"
#include "messenger.h"
#include "tts.h"

#include <QLoggingCategory>
#include <QMetaMethod>
#include <QNetworkReply>
#include <QSslConfiguration>
#include <QTest>

using namespace Qt::StringLiterals;

using namespace tolka::cloud;

namespace {
QStringList &capturedLog()
{
    static QStringList lines;
    return lines;
}

void captureMessage(QtMsgType, const QMessageLogContext &context, const QString &message)
{
    capturedLog().append(QString::fromUtf8(context.category ? context.category : "") + QLatin1Char(' ') +
                         message);
}
} // namespace

class ClientSetupTest : public QObject
{
    Q_OBJECT
    CloudFixture fixture;
    MessageWindow window;
    tts client;

private slots:
    void invokablesInMetaObjectOrder()
    {
        QStringList names;
        const QMetaObject &meta = tts::staticMetaObject;
        for (int i = meta.methodOffset(); i < meta.methodCount(); ++i)
            names.append(QString::fromLatin1(meta.method(i).name()));
        QCOMPARE(names, (QStringList{u"tvoice"_s, u"setSpeechLanguage"_s, u"setFastTranscribe"_s, u"ttrad"_s,
                                     u"init"_s, u"setSpeakingRate"_s, u"replay"_s}));
    }

    void nothingIsSentBeforeInit()
    {
        // No managers yet: a request is dropped without harm.
        client.ttrad("early");
        client.tvoice("early", "v");
        QVERIFY(!clientState().networkManager);
    }

    void initPreconnectsBeforeTheFirstRequest()
    {
        QString error;
        QVERIFY2(fixture.start(&error), qPrintable(error));
        QVERIFY(clientState().initialised);
        QTRY_VERIFY(!fixture.service().connectionPorts().isEmpty());
        QVERIFY(fixture.service().log().entries().isEmpty());
        const QList<quint16> preconnected = fixture.service().connectionPorts();
        client.setSpeechLanguage("en-US");
        client.ttrad("first");
        QTRY_COMPARE(window.count(QStringLiteral("TRAD")), 1);
        // The first request runs on a connection opened by the pre-connection.
        QVERIFY(preconnected.contains(fixture.service().log().entries().constFirst().clientPort));
    }

    void aSecondInitIsIgnored()
    {
        const QNetworkAccessManager *manager = clientState().networkManager.get();
        const std::size_t connections = messenger::instance()->recordingReady.size();
        tts other;
        other.init();
        client.init();
        QCOMPARE(clientState().networkManager.get(), manager);
        QCOMPARE(messenger::instance()->recordingReady.size(), connections);
        QCOMPARE(other.hub(), messenger::instance());

        // One recording, one request.
        client.setFastTranscribe("en-GB");
        fixture.reset();
        window.messages.clear();
        messenger::instance()->recordingReady.fire(oggOpusRecording(1));
        QTRY_COMPARE(window.count(QStringLiteral("SPEECH")), 1);
        QCOMPARE(fixture.service().log().entries().size(), 1);
    }

    void tlsSetUpAsksForHttp2AndTls13()
    {
        const QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        QCOMPARE(tls.allowedNextProtocols(), QList<QByteArray>{QSslConfiguration::ALPNProtocolHTTP2});
        QCOMPARE(tls.protocol(), QSsl::TlsV1_3);
        QVERIFY(tls.peerVerifyMode() != QSslSocket::VerifyNone);
    }

    void anUntrustedServerIsRefused()
    {
        // Same kind of service, but a certificate the client was not told to trust.
        CloudFixture stranger;
        QString error;
        QVERIFY2(stranger.startService(&error), qPrintable(error));
        QNetworkRequest request(QUrl(stranger.service().origin() + QStringLiteral("/translate")));
        // A manager of its own with the default TLS configuration the client
        // installed (and uses), so the refusal is that configuration's.
        QNetworkAccessManager manager;
        std::unique_ptr<QNetworkReply> reply(manager.post(request, QByteArray("[]")));
        QTRY_VERIFY(reply->isFinished());
        QCOMPARE(reply->error(), QNetworkReply::SslHandshakeFailedError);
        QVERIFY(stranger.service().log().entries().isEmpty());
    }

    void failedRepliesAreLoggedWithoutKeys()
    {
        fixture.reset();
        window.messages.clear();
        QLoggingCategory::setFilterRules(QStringLiteral("tolka.cloud.debug=true"));
        capturedLog().clear();
        const QtMessageHandler previous = qInstallMessageHandler(captureMessage);
        // An error body that echoes every key, as a careless service might.
        const QByteArray echo = "{\"error\":\"bad key " + allKeys().join(' ') + "\"}";
        // Rejected with the primary key, then with the backup key: two failures.
        for (int i = 0; i < 2; ++i)
            fixture.service().script().push(Operation::Translation, ScriptedReply::withBody(401, echo));
        client.ttrad("x");
        QTRY_COMPARE(window.count(QStringLiteral("ERROR")), 1);
        fixture.service().script().push(Operation::Synthesis, ScriptedReply::withBody(403, echo));
        client.tvoice("x", "en-US-AvaNeural");
        QTRY_COMPARE(fixture.service().log().entries(Operation::Synthesis).size(), 2);
        QTRY_COMPARE(clientState().failureCount, 0);
        qInstallMessageHandler(previous);
        QLoggingCategory::setFilterRules(QString());

        const QStringList failures = capturedLog().filter(QStringLiteral("request failed"));
        QCOMPARE(failures.size(), 3);
        const QString &first = failures.constFirst();
        QVERIFY(first.startsWith(QStringLiteral("tolka.cloud ")));
        // URL, body, error name and error string, in this order.
        const qsizetype url = first.indexOf(fixture.service().origin() + QStringLiteral("/translate"));
        const qsizetype body = first.indexOf(QStringLiteral("bad key <key>"));
        const qsizetype name = first.indexOf(QStringLiteral("AuthenticationRequiredError"));
        QVERIFY2(url > 0 && body > url && name > body, qPrintable(first));
        for (const QString &line : capturedLog()) {
            for (const QByteArray &key : allKeys())
                QVERIFY2(!line.contains(QString::fromLatin1(key)), qPrintable(line));
        }
    }
};

QTEST_MAIN(ClientSetupTest)
#include "tst_clientsetup.moc"
