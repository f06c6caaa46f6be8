#include "encoder.h"

#include "audioinput.h"
#include "capturedevice.h"
#include "capturelogging.h"
#include "messenger.h"

#include <QRandomGenerator64>

#include <opus.h>

#include <algorithm>
#include <cstring>
#include <utility>

encoder::encoder(std::shared_ptr<messenger> hub, QObject *parent) : recorder(parent), m_hub(std::move(hub))
{}

encoder::~encoder()
{
    reset();
}

void encoder::reset()
{
    if (m_opus) {
        opus_encoder_destroy(m_opus);
        m_opus = nullptr;
    }
    m_samples.clear();
    m_ogg.reset();
    m_status = idleStatus;
    m_fedByDevice = false;
}

void encoder::startEncoding()
{
    const AudioInput *device = capture::currentDevice();
    if (m_fedByDevice && !(device && device->isRunning())) {
        // The device stopped, and the end it posted is queued behind this
        // call with the last blocks it captured: beginning now would throw
        // that recording away and let its end close the new one empty.
        m_startAfterFinish = true;
        return;
    }
    reset();
    const auto serial = static_cast<quint32>(QRandomGenerator64::global()->generate());

    int error = OPUS_OK;
    m_opus = opus_encoder_create(AudioInput::defaultRate, AudioInput::defaultChannels, OPUS_APPLICATION_VOIP,
                                 &error);
    m_status = error;
    if (m_status != OPUS_OK || !m_opus) {
        qCWarning(lcCapture) << "cannot create the Opus encoder:" << opus_strerror(error);
        if (m_opus) {
            opus_encoder_destroy(m_opus);
            m_opus = nullptr;
        }
        if (m_status == OPUS_OK)
            m_status = OPUS_ALLOC_FAIL;
        return;
    }
    // The results are not checked: each request is valid for this encoder.
    opus_encoder_ctl(m_opus, OPUS_SET_EXPERT_FRAME_DURATION(OPUS_FRAMESIZE_20_MS));
    opus_encoder_ctl(m_opus, OPUS_SET_APPLICATION(OPUS_APPLICATION_VOIP));
    opus_encoder_ctl(m_opus, OPUS_SET_SIGNAL(OPUS_SIGNAL_VOICE));
    opus_encoder_ctl(m_opus, OPUS_SET_BITRATE(24000));
    opus_encoder_ctl(m_opus, OPUS_SET_COMPLEXITY(10));
    opus_encoder_ctl(m_opus, OPUS_SET_DTX(1));

    m_ogg.begin(serial);
    handOnPages();
    startDevice();
    device = capture::currentDevice();
    m_fedByDevice = device && device->isRunning();
}

void encoder::pushSamples(const qint16 *samples, qint64 count)
{
    // Samples that arrive with no stream open have nowhere to go.
    if (!m_opus || count <= 0 || !samples)
        return;
    const qsizetype needed = m_samples.size() + static_cast<qsizetype>(count);
    if (needed > m_samples.capacity())
        m_samples.reserve(std::max(m_samples.size() * 2, needed));
    m_samples.append(samples, static_cast<qsizetype>(count));

    qsizetype used = 0;
    while (m_samples.size() - used >= frameSize) {
        encodeFrame(m_samples.constData() + used);
        used += frameSize;
    }
    if (used > 0) {
        const qsizetype rest = m_samples.size() - used;
        std::memmove(m_samples.data(), m_samples.constData() + used,
                     static_cast<std::size_t>(rest) * sizeof(qint16));
        m_samples.resize(rest);
    }
}

void encoder::encodeFrame(const qint16 *frame)
{
    if (m_ogg.granule() >= maxRecordingSamples)
        return;
    unsigned char packet[OggWriter::maxPacketSize];
    const opus_int32 size = opus_encode(m_opus, frame, frameSize, packet, OggWriter::maxPacketSize);
    // A failed or empty encode drops the frame; the granule does not count it.
    if (size > 0) {
        m_ogg.addPacket(packet, static_cast<int>(size));
        if (m_ogg.pagePackets() >= streamedPagePackets) {
            m_ogg.closePage();
            handOnPages();
        }
    } else if (size < 0)
        qCDebug(lcCapture) << "frame dropped:" << opus_strerror(size);
}

void encoder::handOnPages()
{
    const QByteArray pages = m_ogg.takeNewPages();
    if (m_hub && !pages.isEmpty())
        m_hub->recordingPages.fire(pages);
}

void encoder::finishStream()
{
    if (m_status == OPUS_OK) {
        m_ogg.finish();
        if (m_ogg.granule() >= maxRecordingSamples)
            qCInfo(lcCapture) << "recording cut at 60 s, the most recognition takes";
        if (!m_ogg.stream().isEmpty()) {
            const QByteArray recording = m_ogg.takeStream();
            qCDebug(lcCapture) << "recording finished:" << recording.size() << "bytes," << m_ogg.granule()
                               << "samples";
            if (m_hub)
                m_hub->recordingReady.fire(recording);
        }
    }
    reset();
    if (std::exchange(m_startAfterFinish, false))
        startEncoding();
}
