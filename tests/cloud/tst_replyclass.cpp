// What each reply means for its request: the classes of failure, the
// service's error code, Retry-After and the pauses between sends.
#include "failureclass.h"

#include <QTest>

using namespace tolka::cloud;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(tolka::cloud::ReplyClass)
Q_DECLARE_METATYPE(tolka::cloud::Service)

namespace {
const QDateTime now = QDateTime(QDate(2026, 12, 8), QTime(9, 0, 0), QTimeZone::UTC);
} // namespace

class ReplyClassTest : public QObject
{
    Q_OBJECT
private slots:
    void everyReplyHasItsClass_data()
    {
        QTest::addColumn<Service>("service");
        QTest::addColumn<int>("error");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<ReplyClass>("expected");
        QTest::addColumn<QString>("code");
        const auto t = Service::Translation;
        const auto r = Service::Recognition;
        const auto s = Service::Synthesis;
        const int none = QNetworkReply::NoError;
        const QByteArray empty;
        QTest::newRow("200") << t << none << 200 << QByteArray("{}") << ReplyClass::Success << "";
        QTest::newRow("204 empty") << s << none << 204 << empty << ReplyClass::Success << "";
        QTest::newRow("connection refused")
            << t << int(QNetworkReply::ConnectionRefusedError) << 0 << empty << ReplyClass::Transient << "";
        QTest::newRow("timeout") << s << int(QNetworkReply::OperationCanceledError) << 0 << empty
                                 << ReplyClass::Transient << "";
        QTest::newRow("TLS handshake")
            << r << int(QNetworkReply::SslHandshakeFailedError) << 0 << empty << ReplyClass::Transient << "";
        QTest::newRow("200, then the transfer broke") << s << int(QNetworkReply::RemoteHostClosedError) << 200
                                                      << QByteArray("partial") << ReplyClass::Transient << "";
        QTest::newRow("408") << t << int(QNetworkReply::UnknownContentError) << 408
                             << QByteArray(R"({"error":{"code":408001,"message":"m"}})")
                             << ReplyClass::Transient << "408001";
        QTest::newRow("500") << t << int(QNetworkReply::InternalServerError) << 500 << empty
                             << ReplyClass::Transient << "";
        QTest::newRow("503 with a string code") << t << int(QNetworkReply::ServiceUnavailableError) << 503
                                                << QByteArray(R"({"error":{"code":"503000","message":"m"}})")
                                                << ReplyClass::Transient << "503000";
        QTest::newRow("429") << r << int(QNetworkReply::UnknownContentError) << 429 << empty
                             << ReplyClass::Throttled << "";
        QTest::newRow("403001: free quota used up")
            << t << int(QNetworkReply::ContentAccessDenied) << 403
            << QByteArray(R"({"error":{"code":403001,"message":"m"}})") << ReplyClass::Throttled << "403001";
        QTest::newRow("401") << t << int(QNetworkReply::AuthenticationRequiredError) << 401
                             << QByteArray(R"({"error":{"code":401000,"message":"m"}})")
                             << ReplyClass::KeyRejected << "401000";
        QTest::newRow("403") << s << int(QNetworkReply::ContentAccessDenied) << 403
                             << QByteArray(R"({"error":{"code":"403","message":"m"}})")
                             << ReplyClass::KeyRejected << "403";
        QTest::newRow("400") << t << int(QNetworkReply::ProtocolInvalidOperationError) << 400
                             << QByteArray(R"({"error":{"code":400036,"message":"m"}})")
                             << ReplyClass::BadRequest << "400036";
        QTest::newRow("413") << r << int(QNetworkReply::UnknownContentError) << 413 << empty
                             << ReplyClass::BadRequest << "";
        QTest::newRow("415") << r << int(QNetworkReply::UnknownContentError) << 415 << empty
                             << ReplyClass::BadRequest << "";
        QTest::newRow("404: misconfigured host")
            << s << int(QNetworkReply::ContentNotFoundError) << 404 << empty << ReplyClass::BadRequest << "";
        QTest::newRow("error body not JSON") << t << int(QNetworkReply::ProtocolInvalidOperationError) << 400
                                             << QByteArray("<html>") << ReplyClass::BadRequest << "";
        // Recognition's statuses on a 2xx reply.
        QTest::newRow("Success") << r << none << 200
                                 << QByteArray(R"({"RecognitionStatus":"Success","DisplayText":"Hi."})")
                                 << ReplyClass::Success << "";
        QTest::newRow("NoMatch") << r << none << 200 << QByteArray(R"({"RecognitionStatus":"NoMatch"})")
                                 << ReplyClass::NothingRecognised << "NoMatch";
        QTest::newRow("InitialSilenceTimeout")
            << r << none << 200 << QByteArray(R"({"RecognitionStatus":"InitialSilenceTimeout"})")
            << ReplyClass::NothingRecognised << "InitialSilenceTimeout";
        QTest::newRow("BabbleTimeout")
            << r << none << 200 << QByteArray(R"({"RecognitionStatus":"BabbleTimeout"})")
            << ReplyClass::NothingRecognised << "BabbleTimeout";
        QTest::newRow("Error") << r << none << 200 << QByteArray(R"({"RecognitionStatus":"Error"})")
                               << ReplyClass::Transient << "Error";
        QTest::newRow("no status") << r << none << 200 << QByteArray(R"({"DisplayText":"Hi."})")
                                   << ReplyClass::Success << "";
        // Only recognition replies carry a status.
        QTest::newRow("NoMatch on a translation")
            << t << none << 200 << QByteArray(R"({"RecognitionStatus":"NoMatch"})") << ReplyClass::Success
            << "";
    }
    void everyReplyHasItsClass()
    {
        QFETCH(Service, service);
        QFETCH(int, error);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(ReplyClass, expected);
        QFETCH(QString, code);
        const Verdict verdict =
            classifyReply(service, QNetworkReply::NetworkError(error), status, body, QByteArrayView(), now);
        QCOMPARE(replyClassName(verdict.replyClass), replyClassName(expected));
        QCOMPARE(verdict.status, status);
        QCOMPARE(verdict.code, code);
        QVERIFY(!verdict.retryAfter);
    }

    void retryAfterIsSecondsOrADate_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<qint64>("milliseconds"); // -1: not a Retry-After
        QTest::newRow("seconds") << QByteArray("1") << qint64(1000);
        QTest::newRow("padded") << QByteArray(" 120 ") << qint64(120000);
        QTest::newRow("zero") << QByteArray("0") << qint64(0);
        QTest::newRow("huge, bounded") << QByteArray("99999999999999999999") << qint64(24 * 3600 * 1000);
        QTest::newRow("HTTP date ahead") << QByteArray("Tue, 08 Dec 2026 09:00:03 GMT") << qint64(3000);
        QTest::newRow("HTTP date past") << QByteArray("Tue, 08 Dec 2026 08:59:00 GMT") << qint64(0);
        QTest::newRow("negative") << QByteArray("-1") << qint64(-1);
        QTest::newRow("fraction") << QByteArray("1.5") << qint64(-1);
        QTest::newRow("words") << QByteArray("soon") << qint64(-1);
        QTest::newRow("empty") << QByteArray() << qint64(-1);
    }
    void retryAfterIsSecondsOrADate()
    {
        QFETCH(QByteArray, value);
        QFETCH(qint64, milliseconds);
        const auto wait = parseRetryAfter(value, now);
        QCOMPARE(wait ? wait->count() : -1, milliseconds);
    }

    void onlyAThrottledReplyKeepsItsRetryAfter()
    {
        const Verdict throttled =
            classifyReply(Service::Translation, QNetworkReply::UnknownContentError, 429, {}, "2", now);
        QCOMPARE(throttled.retryAfter.value_or(-1ms), 2000ms);
        const Verdict unavailable =
            classifyReply(Service::Translation, QNetworkReply::ServiceUnavailableError, 503, {}, "2", now);
        QVERIFY(!unavailable.retryAfter);
    }

    void pausesGrowThenTheGateDecides()
    {
        const Verdict transient{ReplyClass::Transient, 503, {}, {}};
        QCOMPARE(resendDelay(transient, 1), 200ms);
        QCOMPARE(resendDelay(transient, 2), 400ms);
        QCOMPARE(resendDelay(transient, 3), 800ms);
        QCOMPARE(resendDelay(transient, 4), 1600ms);
        // The fifth failure: the resend goes straight to the gate, which refuses.
        QCOMPARE(resendDelay(transient, 5), 0ms);
        // Throttled without Retry-After: the same growing pause.
        const Verdict throttled{ReplyClass::Throttled, 429, {}, {}};
        QCOMPARE(resendDelay(throttled, 2), 400ms);
    }

    void retryAfterIsHonouredUpToTenSeconds()
    {
        QCOMPARE(resendDelay({ReplyClass::Throttled, 429, {}, 1000ms}, 1), 1000ms);
        QCOMPARE(resendDelay({ReplyClass::Throttled, 429, {}, 0ms}, 3), 0ms);
        QCOMPARE(resendDelay({ReplyClass::Throttled, 429, {}, 120s}, 1), 10s);
        QCOMPARE(resendDelay({ReplyClass::Throttled, 429, {}, 120s}, 5), 0ms);
    }

    void errorCodesAreNumbersOrStrings()
    {
        QCOMPARE(errorCode(R"({"error":{"code":400035,"message":"m"}})"), QStringLiteral("400035"));
        QCOMPARE(errorCode(R"({"error":{"code":"401","message":"m"}})"), QStringLiteral("401"));
        QCOMPARE(errorCode(R"({"error":{"message":"m"}})"), QString());
        QCOMPARE(errorCode(R"({"error":"denied"})"), QString());
        QCOMPARE(errorCode("[1,2]"), QString());
        QCOMPARE(errorCode(""), QString());
    }

    void aSuccessIsCheckedAgainstWhatCame_data()
    {
        QTest::addColumn<Service>("service");
        QTest::addColumn<QByteArray>("type");
        QTest::addColumn<qint64>("declared"); // -1: no Content-Length
        QTest::addColumn<qint64>("body");
        QTest::addColumn<ReplyClass>("expected");
        QTest::addColumn<QString>("code");
        const auto json = QByteArrayLiteral("application/json; charset=utf-8");
        QTest::newRow("json") << Service::Translation << json << qint64(40) << qint64(40)
                              << ReplyClass::Success << QString();
        QTest::newRow("json, no parameter") << Service::Recognition << QByteArray("Application/JSON")
                                            << qint64(-1) << qint64(9) << ReplyClass::Success << QString();
        QTest::newRow("audio, no parameter") << Service::Synthesis << QByteArray("audio/ogg") << qint64(-1)
                                             << qint64(600) << ReplyClass::Success << QString();
        QTest::newRow("bytes as audio") << Service::Synthesis << QByteArray("application/octet-stream")
                                        << qint64(-1) << qint64(600) << ReplyClass::Success << QString();
        QTest::newRow("no type") << Service::Translation << QByteArray() << qint64(-1) << qint64(9)
                                 << ReplyClass::Success << QString();
        QTest::newRow("a portal's page")
            << Service::Translation << QByteArray("text/html") << qint64(-1) << qint64(90)
            << ReplyClass::Transient << QStringLiteral("contentType");
        QTest::newRow("json as audio") << Service::Synthesis << json << qint64(-1) << qint64(600)
                                       << ReplyClass::Transient << QStringLiteral("contentType");
        QTest::newRow("audio as json")
            << Service::Recognition << QByteArray("audio/ogg") << qint64(-1) << qint64(600)
            << ReplyClass::Transient << QStringLiteral("contentType");
        QTest::newRow("empty, any type")
            << Service::Synthesis << json << qint64(0) << qint64(0) << ReplyClass::Success << QString();
        QTest::newRow("cut short") << Service::Translation << json << qint64(84) << qint64(43)
                                   << ReplyClass::Transient << QStringLiteral("truncated");
    }
    void aSuccessIsCheckedAgainstWhatCame()
    {
        QFETCH(Service, service);
        QFETCH(QByteArray, type);
        QFETCH(qint64, declared);
        QFETCH(qint64, body);
        QFETCH(ReplyClass, expected);
        QFETCH(QString, code);
        const Verdict verdict =
            checkedSuccess(service, {ReplyClass::Success, 200, {}, {}}, type,
                           declared < 0 ? std::nullopt : std::optional<qint64>(declared), body);
        QCOMPARE(verdict.replyClass, expected);
        QCOMPARE(verdict.code, code);
        QCOMPARE(verdict.status, 200);
    }

    void aFailureStaysWhatItWas()
    {
        const Verdict refused{ReplyClass::BadRequest, 415, QStringLiteral("415000"), {}};
        const Verdict checked = checkedSuccess(Service::Translation, refused, "text/html", 10, 2);
        QCOMPARE(checked.replyClass, ReplyClass::BadRequest);
        QCOMPARE(checked.code, QStringLiteral("415000"));
    }
};

QTEST_GUILESS_MAIN(ReplyClassTest)
#include "tst_replyclass.moc"
