#include "speechdecoder.h"

#include "playbacklogging.h"
#include "playbackstate.h"
#include "speechstream.h"

std::optional<QByteArray> decodeOpusPackets(const QByteArray &reply)
{
    SpeechStream stream;
    if (!stream.isValid() || reply.isEmpty())
        return std::nullopt;
    stream.feed(reply);
    const qsizetype packets = stream.wholePackets();
    QByteArray pcm = stream.decode(packets);
    if (stream.skippedPackets() > 0)
        qCWarning(lcPlayback) << "skipped" << stream.skippedPackets() << "undecodable packets of" << packets;
    if (stream.partialBytes() != 0)
        qCDebug(lcPlayback) << "ignored a trailing partial packet of" << stream.partialBytes() << "bytes";
    return pcm;
}

void decodeSpeech(const QByteArray &reply)
{
    std::optional<QByteArray> pcm = decodeOpusPackets(reply);
    if (!pcm) {
        qCDebug(lcPlayback) << "empty or undecodable reply; keeping the previous speech";
        return;
    }
    playbackState::instance().replaceSpeech(std::move(*pcm));
}
