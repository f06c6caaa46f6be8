#include "synthesis.h"

#include "clientstate.h"
#include "cloudlogging.h"
#include "exchange.h"
#include "frame.h"
#include "keys.h"
#include "messenger.h"
#include "replystream.h"
#include "speechcache.h"
#include "speedswitch.h"

#include <QtGlobal>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string_view>

namespace tolka::cloud {

QByteArray escapeXml(const QByteArray &text)
{
    QByteArray out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&':
            out.append("&amp;");
            break;
        case '<':
            out.append("&lt;");
            break;
        case '>':
            out.append("&gt;");
            break;
        case '\'':
            out.append("&apos;");
            break;
        case '"':
            out.append("&quot;");
            break;
        default:
            out.append(c);
        }
    }
    return out;
}

double boundedSpeakingRate(double rate)
{
    if (std::isnan(rate))
        return defaultSpeakingRate;
    return std::clamp(rate, minimumSpeakingRate, maximumSpeakingRate);
}

QByteArray speakingRateText(double rate)
{
    return QByteArray::number(boundedSpeakingRate(rate), 'f', 2);
}

QByteArray ssmlDocument(const QByteArray &language, const QByteArray &voice, const QByteArray &text,
                        double rate)
{
    static constexpr std::string_view p1 =
        "<speak version='1.0' xmlns:mstts='http://www.w3.org/2001/mstts' xml:lang='";
    static constexpr std::string_view p3 = "'><voice name='";
    static constexpr std::string_view p4 = "'><prosody rate='";
    static constexpr std::string_view p5 = "'><mstts:silence type='Tailing-exact' value='0'/>";
    static constexpr std::string_view p6 = "<mstts:silence type='Sentenceboundary-exact' value='500ms'/>"
                                           "<mstts:silence type='Comma-exact' value='250ms'/>";
    static constexpr std::string_view p8 = "</prosody></voice></speak>";
    const QByteArray lang = escapeXml(language);
    const QByteArray name = escapeXml(voice);
    const QByteArray pace = speakingRateText(rate);
    const QByteArray words = escapeXml(text);
    QByteArray document;
    document.reserve(qsizetype(p1.size() + p3.size() + p4.size() + p5.size() + p6.size() + p8.size()) +
                     lang.size() + name.size() + pace.size() + words.size());
    document.append(p1).append(lang).append(p3).append(name).append(p4).append(pace).append(p5);
    document.append(p6).append(words).append(p8);
    return document;
}

namespace {
SpeedSwitch wholeReplyMode("TOLKA_SYNTHESIS_WHOLE_REPLY", false);
} // namespace

bool wholeReplies()
{
    return wholeReplyMode.on();
}

void setWholeReplies(bool whole)
{
    wholeReplyMode.set(whole);
}

namespace {

// Where a reply goes once it has come whole: under the key of the request
// that asked for it, unless something newer has replaced it at the speaker
// by then.
struct Keeping
{
    SpeechKey key;
    std::uint64_t utterance = 0;
};

void keep(const Keeping &keeping, const QByteArray &audio)
{
    if (clientState().lastUtterance != keeping.utterance) {
        qCDebug(lcCloud) << "a synthesis reply that was replaced is not cached";
        return;
    }
    replyCache().store(keeping.key, audio);
}

} // namespace

QByteArray speechService()
{
    return clientState().origin ? QByteArrayLiteral("local") : QByteArrayLiteral("cloud");
}

void synthesize(const QByteArray &text, const QByteArray &voice)
{
    if (!admitRequest())
        return;
    ClientState &s = clientState();
    if (!s.restManager)
        return;
    Exchange exchange;
    exchange.service = Service::Synthesis;
    // Rebuilt on every send: a resend speaks the current language and rate.
    exchange.body = ssmlDocument(s.speechLanguage, voice, text, s.speakingRate);
    const Keeping keeping{{s.speechLanguage, voice, speakingRateText(s.speakingRate), text, speechService()},
                          ++s.lastUtterance};
    exchange.otherKeyLeft = !speechBackupKeyDue() && hasSpeechBackupKey();
    applyHeaders(s.synthesisRequest, exchange.body.size());
    exchange.request = s.synthesisRequest;
    if (wholeReplies()) {
        exchange.onSuccess = [keeping](const QByteArray &audio) {
            if (const auto &hub = clientState().hub)
                hub->speechReady.fire(audio);
            keep(keeping, audio);
        };
    } else {
        // Each send is a reply of its own: pieces of one that was replaced
        // must never join the next.
        static std::uint64_t lastReply = 0;
        const std::uint64_t reply = ++lastReply;
        // The pieces are joined as they go out, for the cache; the stream
        // says when they made a whole reply.
        const auto joined = std::make_shared<QByteArray>();
        const auto handOn = [reply, joined](std::uint64_t index, const QByteArray &audio, bool last) {
            joined->append(audio);
            if (const auto &hub = clientState().hub)
                hub->speechPieceReady.fire(SpeechPiece{reply, index, audio, last});
        };
        exchange.stream = std::make_shared<ReplyStream>(Service::Synthesis, handOn, speechPacketBytes,
                                                        [keeping, joined] { keep(keeping, *joined); });
        exchange.onSuccess = [handOn, keeping](const QByteArray &audio) {
            handOn(0, audio, true);
            keep(keeping, audio);
        };
    }
    exchange.resend = [text, voice] { synthesize(text, voice); };
    post(std::move(exchange));
}

} // namespace tolka::cloud
