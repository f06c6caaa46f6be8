#include "cloudfixture.h"

#include "encoder.h"

#include "clientstate.h"
#include "oggwriter.h"
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

bool CloudFixture::start(QString *error)
{
    if (!startService(error))
        return false;
    qputenv("TOLKA_CLOUD_ORIGIN", m_service.origin().toUtf8());
    qputenv("TOLKA_CLOUD_CA_FILE", m_caPath.toUtf8());
    tts::configSSL();
    tts client;
    client.init();
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
