#pragma once

#include "speechpiece.h"

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>
#include <memory>

struct OpusDecoder;

// The decoding of one synthesis reply as its bytes arrive. One decoder for
// the whole reply, as Opus decoding carries state from packet to packet, so
// the samples are those of the reply decoded whole however it was cut; a
// packet cut between two pieces waits for the rest of it.
class SpeechStream
{
public:
    SpeechStream();
    ~SpeechStream();
    SpeechStream(const SpeechStream &) = delete;
    SpeechStream &operator=(const SpeechStream &) = delete;

    // False when no decoder could be made (logged); nothing then decodes.
    [[nodiscard]] bool isValid() const { return m_decoder != nullptr; }

    void feed(QByteArrayView bytes);
    // Decodes at most `packets` of the whole packets fed so far into 48 kHz
    // mono PCM; an undecodable packet adds nothing.
    [[nodiscard]] QByteArray decode(qsizetype packets);

    [[nodiscard]] qsizetype wholePackets() const;
    // Bytes of a packet still waiting for the rest of it.
    [[nodiscard]] qsizetype partialBytes() const;
    [[nodiscard]] qsizetype skippedPackets() const { return m_skipped; }
    [[nodiscard]] qsizetype judgedPackets() const { return m_decoded + m_skipped; }

    // What the service sends decodes whole, and bytes that are not Opus
    // mostly do not: a reply is refused once more than one packet in
    // refusalShare of those decoded so far failed, judged from the
    // refusalMinimum-th packet on (a shorter reply at its end). A refusal is
    // final: later packets are taken but no longer decoded, and the samples
    // of the call that refused it are dropped.
    static constexpr qsizetype refusalMinimum = 5;
    static constexpr qsizetype refusalShare = 3;
    [[nodiscard]] bool refused() const { return m_refused; }
    // Enough packets were judged to play what they gave (or the reply ended).
    [[nodiscard]] bool judged(bool ended) const { return ended || judgedPackets() >= refusalMinimum; }
    // At the end of a reply shorter than refusalMinimum: the same share.
    void judgeEnd();

private:
    struct Deleter
    {
        void operator()(OpusDecoder *decoder) const;
    };
    std::unique_ptr<OpusDecoder, Deleter> m_decoder;
    QByteArray m_input;
    qsizetype m_read = 0;
    qsizetype m_skipped = 0;
    qsizetype m_decoded = 0;
    bool m_refused = false;
};

// The reply the speaker is receiving: which one, the piece it expects next,
// its decoder and how far its playback got.
struct IncomingSpeech
{
    explicit IncomingSpeech(std::uint64_t id) : reply(id) {}

    [[nodiscard]] bool takes(const SpeechPiece &piece) const
    {
        return piece.reply == reply && piece.index == nextIndex && !lastReceived;
    }
    // Every piece is in and decoded.
    [[nodiscard]] bool ended() const { return lastReceived && stream.wholePackets() == 0; }

    std::uint64_t reply;
    std::uint64_t nextIndex = 0;
    bool lastReceived = false;
    bool started = false;      // its playback was asked for
    bool decodeQueued = false; // a later part is decoded by a queued call
    SpeechStream stream;
};
