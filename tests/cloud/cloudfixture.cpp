#include "cloudfixture.h"

#include "encoder.h"

#include "clientstate.h"
#include "messenger.h"
#include "oggwriter.h"
#include "speechpackets.h"
#include "tts.h"

#include <QCryptographicHash>

#include <opus.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

QStringList MessageWindow::tags() const
{
    QStringList tags;
    for (const Message &m : messages)
        tags.append(m.tag);
    return tags;
}

QStringList MessageWindow::trace() const
{
    QStringList trace;
    for (const Message &m : messages) {
        if (m.value.typeId() == QMetaType::Bool)
            trace.append(m.tag + (m.value.toBool() ? QStringLiteral(":true") : QStringLiteral(":false")));
        else
            trace.append(m.tag);
    }
    return trace;
}

qsizetype MessageWindow::count(const QString &tag) const
{
    return tags().count(tag);
}

QVariant MessageWindow::last(const QString &tag) const
{
    for (auto it = messages.crbegin(); it != messages.crend(); ++it) {
        if (it->tag == tag)
            return it->value;
    }
    return {};
}

void SpeechSink::connectToHub()
{
    messenger::instance()->speechPieceReady.connect(this, &SpeechSink::onPiece);
    messenger::instance()->speechReady.connect(this, &SpeechSink::onWhole);
}

void SpeechSink::clear()
{
    received.clear();
    pieceCounts.clear();
    wholeReplies = 0;
    disorders = 0;
    partialPieces = 0;
    m_open.clear();
}

void SpeechSink::onPiece(SpeechPiece piece)
{
    Open &open = m_open[piece.reply];
    if (piece.index != quint64(open.pieces))
        ++disorders;
    if (piece.packets.size() % speechpackets::packetBytes != 0)
        ++partialPieces;
    open.audio.append(piece.packets);
    ++open.pieces;
    if (!piece.last)
        return;
    received.append(open.audio);
    pieceCounts.append(open.pieces);
    m_open.remove(piece.reply);
}

void SpeechSink::onWhole(QByteArray audio)
{
    received.append(audio);
    pieceCounts.append(1);
    ++wholeReplies;
}

EngineResult<QByteArray> LongToneSynthesis::synthesize(const SpeechRequest &, QDeadlineTimer)
{
    return audio();
}

QByteArray LongToneSynthesis::audio() const
{
    std::vector<qint16> pcm(size_t(speechpackets::sampleRate) * size_t(m_milliseconds) / 1000);
    double phase = 0;
    for (size_t i = 0; i < pcm.size(); ++i) {
        phase += 2.0 * std::numbers::pi * (300.0 + 0.05 * double(i / 480)) / speechpackets::sampleRate;
        pcm[i] = qint16(7000.0 * std::sin(phase));
    }
    return speechpackets::encode(pcm);
}

bool CloudFixture::start(QString *error)
{
    if (!startService(error))
        return false;
    qputenv("TOLKA_CLOUD_ORIGIN", m_service.origin().toUtf8());
    qputenv("TOLKA_CLOUD_CA_FILE", m_caPath.toUtf8());
    tts::configSSL();
    tts client;
    client.init();
    giveEmptySpeechCache();
    return true;
}

bool CloudFixture::startService(QString *error)
{
    if (!m_folder.isValid()) {
        *error = QStringLiteral("no temporary folder");
        return false;
    }
    const std::optional<TlsIdentity> identity = generateIdentity(m_folder.path(), error);
    if (!identity)
        return false;
    if (!m_service.listen(*identity)) {
        *error = QStringLiteral("the local service cannot listen");
        return false;
    }
    m_caPath = identity->caPath;
    return true;
}

void CloudFixture::reset()
{
    m_service.log().clear();
    m_service.script().clear();
    m_service.setTranslatorRegion({});
    tolka::cloud::ClientState &s = tolka::cloud::clientState();
    s.failureCount = 0;
    s.useSpeechBackupKey = false;
    s.useTranslatorBackupKey = false;
    // The build's keys again; endpoints and pooled connections stay.
    s.credentials = tolka::cloud::buildCredentials();
    s.speakingRate = tolka::cloud::defaultSpeakingRate;
    giveEmptySpeechCache();
}

void CloudFixture::giveEmptySpeechCache()
{
    tolka::cloud::clientState().speechCache = std::make_unique<tolka::cloud::SpeechCache>(
        m_folder.path() + QStringLiteral("/speech-") + QString::number(++m_speechCaches));
}

QByteArray oggOpusOf(std::span<const qint16> pcm, quint32 serial)
{
    constexpr int rate = 48000;
    constexpr auto frame = qsizetype(OggWriter::samplesPerPacket);
    int error = 0;
    const std::unique_ptr<OpusEncoder, decltype(&opus_encoder_destroy)> opus(
        opus_encoder_create(rate, 1, OPUS_APPLICATION_VOIP, &error), &opus_encoder_destroy);
    if (!opus)
        return {};
    opus_encoder_ctl(opus.get(), OPUS_SET_BITRATE(24000));
    OggWriter ogg;
    ogg.begin(serial);
    unsigned char packet[OggWriter::maxPacketSize];
    for (qsizetype at = 0; at + frame <= qsizetype(pcm.size()); at += frame) {
        const int size = opus_encode(opus.get(), pcm.data() + at, int(frame), packet, int(sizeof packet));
        if (size <= 0)
            return {};
        ogg.addPacket(packet, size);
        // Pages of 100 ms, as the recorder makes them to stream them.
        if (ogg.pagePackets() >= encoder::streamedPagePackets)
            ogg.closePage();
    }
    ogg.finish();
    return ogg.takeStream();
}

QByteArray oggOpusRecording(int seed, int milliseconds)
{
    constexpr int rate = 48000;
    constexpr int frame = int(OggWriter::samplesPerPacket);
    const double pitch = 200.0 + 37.0 * seed;
    const int frames = milliseconds <= 0 ? 0 : std::max(1, int(qint64(milliseconds) * rate / 1000 / frame));
    std::vector<qint16> pcm(size_t(frames) * frame);
    for (size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = qint16(6000.0 * std::sin(2.0 * std::numbers::pi * pitch * double(i) / rate));
    return oggOpusOf(pcm, quint32(0x70000000u + quint32(seed)));
}

QByteArray sha256Hex(const QByteArray &data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex();
}
