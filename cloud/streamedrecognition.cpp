#include "streamedrecognition.h"

#include "clientstate.h"
#include "cloudlogging.h"
#include "exchange.h"
#include "failureclass.h"
#include "frame.h"
#include "keys.h"
#include "recognition.h"
#include "speedswitch.h"
#include "streamedupload.h"

#include <QCoreApplication>
#include <QPointer>
#include <QtEndian>
#include <QTimer>

namespace tolka::cloud {

namespace {

// A recording whose next page does not come in this time has stopped
// without an end (its device failed, say): its request is given up.
constexpr int pageSilenceMs = 5000;
constexpr char beginningOfStream = 0x02;
constexpr qsizetype pageHeaderSize = 27;
constexpr qsizetype granuleOffset = 6;

struct Streaming
{
    QPointer<StreamedUpload> upload;
    QByteArray sent; // every byte appended, to check the whole recording against
    QByteArray language;
    std::optional<StreamedUpload::Reply> earlyReply;
    QTimer *silence = nullptr;
};

Streaming &streaming()
{
    static Streaming state;
    return state;
}

SpeedSwitch streamedMode("TOLKA_STREAM_RECORDINGS", true);

bool startsStream(const QByteArray &pages)
{
    return pages.size() >= pageHeaderSize && pages.startsWith("OggS") && (pages[5] & beginningOfStream);
}

// The granule position of the stream's last page: 0 when no audio was coded.
qint64 lastGranule(const QByteArray &stream)
{
    const qsizetype last = stream.lastIndexOf("OggS");
    if (last < 0 || stream.size() - last < pageHeaderSize)
        return 0;
    return qFromLittleEndian<qint64>(stream.constData() + last + granuleOffset);
}

void drop(const char *why)
{
    Streaming &st = streaming();
    if (st.upload) {
        qCDebug(lcCloud) << "streamed recognition given up:" << why;
        st.upload->cancel();
        st.upload->deleteLater();
    }
    st.upload = nullptr;
    st.sent.clear();
    st.earlyReply.reset();
    if (st.silence)
        st.silence->stop();
}

Verdict verdictOf(const StreamedUpload::Reply &reply)
{
    if (reply.tooLarge)
        return {ReplyClass::TooLarge, reply.status, {}, {}};
    const Verdict verdict =
        classifyReply(Service::Recognition, reply.error, reply.status, reply.body,
                      reply.headers.combinedValue(QHttpHeaders::WellKnownHeader::RetryAfter));
    // The upload reads a body to its declared end or fails: only the type is left to check.
    return checkedSuccess(Service::Recognition, verdict,
                          reply.headers.combinedValue(QHttpHeaders::WellKnownHeader::ContentType),
                          std::nullopt, reply.body.size());
}

// A failure of the streamed request counts as a failed send: the whole
// recording follows as a resend of the cycle, with the backup key.
void countFailure(const StreamedUpload::Reply &reply)
{
    ClientState &s = clientState();
    qCDebug(lcCloud).noquote() << "streamed recognition failed:" << reply.status << reply.error
                               << reply.errorString << reply.body;
    s.useSpeechBackupKey = true;
    ++s.failureCount;
}

// otherKeyLeft: the upload went with the primary key and there is a backup one.
void handleReply(const StreamedUpload::Reply &reply, const QByteArray &recording, const QByteArray &language,
                 bool otherKeyLeft)
{
    sendMessage(QStringLiteral("BUSY"), false);
    const Verdict verdict = verdictOf(reply);
    ClientState &s = clientState();
    switch (verdict.replyClass) {
    case ReplyClass::Success:
        if (!reply.body.isEmpty())
            showRecognised(reply.body);
        s.failureCount = 0;
        return;
    case ReplyClass::NothingRecognised:
        s.failureCount = 0;
        sendMessage(QStringLiteral("ERROR"), errorMessage(Service::Recognition, verdict));
        return;
    default:
        break;
    }
    // As any other request's failure: the whole recording is the resend.
    countFailure(reply);
    afterFailure(Service::Recognition, verdict, otherKeyLeft,
                 [recording, language] { recognizeShortAudio(recording, language); });
}

void open(const QByteArray &language)
{
    Streaming &st = streaming();
    st.language = language;
    st.upload = new StreamedUpload(recognitionRequestFor(language, std::nullopt),
                                   maxReplyBytes(Service::Recognition), QCoreApplication::instance());
    st.upload->onReply = [upload = st.upload](const StreamedUpload::Reply &reply) {
        Streaming &now = streaming();
        if (now.upload != upload || !reply.beforeEnd)
            return; // the end's reply is handled where the end was sent
        // Refused (or broken) while the user still speaks: the whole
        // recording will go as usual.
        countFailure(reply);
        now.earlyReply = reply;
    };
    if (!st.silence) {
        st.silence = new QTimer(QCoreApplication::instance());
        st.silence->setSingleShot(true);
        QObject::connect(st.silence, &QTimer::timeout, [] { drop("no page for 5 s"); });
    }
    st.silence->start(pageSilenceMs);
}

} // namespace

bool streamedRecognitionEnabled()
{
    return streamedMode.on();
}

void setStreamedRecognitionEnabled(bool enabled)
{
    streamedMode.set(enabled);
    if (!enabled)
        drop("turned off");
}

void takeRecordingPages(const QByteArray &pages)
{
    ClientState &s = clientState();
    if (!streamedMode.on() || !s.restManager)
        return;
    Streaming &st = streaming();
    if (startsStream(pages)) {
        drop("a new recording began");
        // During a cycle of failures the recording goes whole, so that the
        // cycle's count of sends stays exact.
        if (s.failureCount != 0)
            return;
        open(s.sourceLanguage);
    }
    if (!st.upload || st.earlyReply)
        return;
    st.upload->append(pages);
    st.sent += pages;
    st.silence->start(pageSilenceMs);
}

bool finishStreamedRecognition(const QByteArray &recording, const QByteArray &language)
{
    Streaming &st = streaming();
    if (!st.upload)
        return false;
    if (st.earlyReply || st.upload->isOver()) {
        drop("the service answered before the end");
        return false;
    }
    if (language != st.language || !recording.startsWith(st.sent)) {
        drop("the recording is not the one streamed");
        return false;
    }
    if (lastGranule(recording) == 0) {
        // Nothing was said: no request, the whole path says so as before.
        drop("the recording holds no audio");
        return false;
    }
    const bool otherKeyLeft = !speechBackupKeyDue() && hasSpeechBackupKey();
    QPointer<StreamedUpload> upload = std::exchange(st.upload, nullptr);
    const qsizetype streamed = std::exchange(st.sent, {}).size();
    st.silence->stop();
    upload->onReply = [upload, recording, language, otherKeyLeft](const StreamedUpload::Reply &reply) {
        handleReply(reply, recording, language, otherKeyLeft);
        if (upload)
            upload->deleteLater();
    };
    upload->append(recording.sliced(streamed));
    upload->finish();
    sendMessage(QStringLiteral("BUSY"), true);
    return true;
}

} // namespace tolka::cloud
