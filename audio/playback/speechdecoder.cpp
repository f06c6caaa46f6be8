#include "speechdecoder.h"

#include "playbacklogging.h"
#include "playbackstate.h"
#include "speechstream.h"

std::optional<QByteArray> decodeOpusPackets(const QByteArray &reply, bool *refused)
{
    if (refused)
        *refused = false;
    SpeechStream stream;
    if (!stream.isValid() || reply.isEmpty())
        return std::nullopt;
    stream.feed(reply);
    const qsizetype packets = stream.wholePackets();
    QByteArray pcm = stream.decode(packets);
    stream.judgeEnd();
    if (stream.refused()) {
        qCWarning(lcPlayback) << "refused a synthesis reply of" << reply.size() << "bytes: of its first"
                              << stream.judgedPackets() << "packets" << stream.skippedPackets()
                              << "did not decode";
        if (refused)
            *refused = true;
        return QByteArray();
    }
    if (stream.skippedPackets() > 0)
        qCWarning(lcPlayback) << "skipped" << stream.skippedPackets() << "undecodable packets of" << packets;
    if (stream.partialBytes() != 0)
        qCDebug(lcPlayback) << "ignored a trailing partial packet of" << stream.partialBytes() << "bytes";
    return pcm;
}

bool decodeSpeech(const QByteArray &reply)
{
    bool refused = false;
    std::optional<QByteArray> pcm = decodeOpusPackets(reply, &refused);
    if (!pcm) {
        qCDebug(lcPlayback) << "empty reply, or no decoder; keeping the previous speech";
        return true;
    }
    playbackState::instance().replaceSpeech(std::move(*pcm));
    return !refused;
}
