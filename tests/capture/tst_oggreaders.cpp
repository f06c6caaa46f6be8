#include "capturetesting.h"
#include "encoder.h"
#include "messenger.h"
#include "opusreading.h"
#include "similarity.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <ogg/ogg.h>
#include <opus.h>

using namespace capturetesting;

namespace {
constexpr double headerGain = 2.5118864315095801; // 10^(8/20): +8 dB

// Pages and packets of a stream as libogg reads them.
struct LiboggReading
{
    int pages = 0;
    int holes = 0;
    int badPages = 0;
    std::vector<QByteArray> packets;
    std::vector<ogg_int64_t> granules;
    bool lastPageIsEnd = false;
};

LiboggReading readWithLibogg(const QByteArray &stream)
{
    LiboggReading reading;
    ogg_sync_state sync;
    ogg_sync_init(&sync);
    char *buffer = ogg_sync_buffer(&sync, long(stream.size()));
    std::memcpy(buffer, stream.constData(), std::size_t(stream.size()));
    ogg_sync_wrote(&sync, long(stream.size()));
    ogg_stream_state os;
    bool streamOpen = false;
    ogg_page page;
    for (;;) {
        const int result = ogg_sync_pageout(&sync, &page);
        if (result == 0)
            break;
        if (result < 0) {
            // libogg reports a page whose checksum fails as a hole.
            ++reading.holes;
            continue;
        }
        ++reading.pages;
        if (!streamOpen) {
            ogg_stream_init(&os, ogg_page_serialno(&page));
            streamOpen = true;
        }
        if (ogg_stream_pagein(&os, &page) != 0)
            ++reading.badPages;
        reading.granules.push_back(ogg_page_granulepos(&page));
        reading.lastPageIsEnd = ogg_page_eos(&page);
        ogg_packet packet;
        while (ogg_stream_packetout(&os, &packet) == 1)
            reading.packets.emplace_back(reinterpret_cast<const char *>(packet.packet), packet.bytes);
    }
    if (streamOpen)
        ogg_stream_clear(&os);
    ogg_sync_clear(&sync);
    return reading;
}

std::vector<double> toDouble(const std::vector<qint16> &samples)
{
    return {samples.begin(), samples.end()};
}
} // namespace

// A real recording checked by readers that share no code with the writer:
// libogg, libopusfile, libopus and the opus-tools programs.
class OggReadersTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        useScriptedDevice({}, {.failOpen = true}, nullptr);
        messenger::instance()->recordingReady.connect(&sink, &RecordingSink::receive);
        speech = sentence();
        QVERIFY(speech.size() > 96000);
        encoder e(messenger::instance());
        e.startEncoding();
        // Blocks of 10 ms, as the device delivers them.
        for (std::size_t at = 0; at < speech.size(); at += 480)
            e.pushSamples(speech.data() + at, qint64(std::min<std::size_t>(480, speech.size() - at)));
        e.finishStream();
        QCOMPARE(sink.recordings.size(), 1);
        recording = sink.recordings.first();
        frames = qint64(speech.size() / 960);
    }

    void everyPagePassesLiboggsChecksum()
    {
        const LiboggReading reading = readWithLibogg(recording);
        QCOMPARE(reading.holes, 0);
        QCOMPARE(reading.badPages, 0);
        QCOMPARE(reading.pages, 2 + int(frames / encoder::streamedPagePackets) + 1);
        QCOMPARE(qint64(reading.packets.size()), 2 + frames);
        QVERIFY(reading.packets[0].startsWith("OpusHead"));
        QVERIFY(reading.packets[1].startsWith("OpusTags"));
        QCOMPARE(reading.granules.back(), frames * 960);
        QVERIFY(reading.lastPageIsEnd);

        // A single flipped bit in the body is caught.
        QByteArray damaged = recording;
        damaged[damaged.size() - 10] = char(damaged.at(damaged.size() - 10) ^ 0x01);
        QCOMPARE(readWithLibogg(damaged).holes, 1);
    }

    void opusfileDecodesMonoWithTheHeaderGain()
    {
        const DecodedOpus decoded = decodeWithOpusfile(recording);
        QCOMPARE(decoded.error, 0);
        QCOMPARE(decoded.channels, 1);
        QCOMPARE(decoded.inputRate, 48000U);
        QCOMPARE(decoded.outputGain, 2048);
        QCOMPARE(decoded.preSkip, 312);
        QCOMPARE(decoded.pcmTotal, frames * 960 - 312);
        QCOMPARE(qint64(decoded.samples.size()), frames * 960 - 312);

        // The same packets through a bare libopus decoder, without the gain.
        const LiboggReading reading = readWithLibogg(recording);
        int error = 0;
        OpusDecoder *decoder = opus_decoder_create(48000, 1, &error);
        QVERIFY(decoder);
        std::vector<double> bare;
        float pcm[960];
        for (std::size_t i = 2; i < reading.packets.size(); ++i) {
            const QByteArray &packet = reading.packets[i];
            const int n =
                opus_decode_float(decoder, reinterpret_cast<const unsigned char *>(packet.constData()),
                                  opus_int32(packet.size()), pcm, 960, 0);
            QCOMPARE(n, 960);
            for (int k = 0; k < n; ++k)
                bare.push_back(double(pcm[k]) * 32768.0);
        }
        opus_decoder_destroy(decoder);
        bare.erase(bare.begin(), bare.begin() + 312);
        QCOMPARE(bare.size(), decoded.samples.size());
        const double ratio = similarity::rms(decoded.samples) / similarity::rms(bare);
        qInfo("gain applied by libopusfile: %.5f (expected %.5f)", ratio, headerGain);
        QVERIFY(std::abs(ratio - headerGain) < 0.001);
    }

    void decodedSpeechMatchesTheInput()
    {
        const DecodedOpus decoded = decodeWithOpusfile(recording);
        std::vector<double> output = decoded.samples;
        for (double &v : output)
            v /= headerGain;
        std::vector<double> input = toDouble(speech);
        input.resize(output.size());

        // Waveform: the best match within ±32 samples must be within 8 samples of
        // no shift (the codec delay differs from the pre-skip by a few samples).
        const similarity::Peak wave = similarity::bestLag(input, output, 32);
        // Envelope in 10 ms windows: the loudness contour must follow the input.
        const std::vector<double> inEnvelope = similarity::envelope(input, 480);
        const std::vector<double> outEnvelope = similarity::envelope(output, 480);
        const similarity::Peak contour = similarity::bestLag(inEnvelope, outEnvelope, 50);
        const double level = similarity::rms(output) / similarity::rms(input);
        qInfo("waveform correlation %.3f at lag %ld samples; envelope correlation %.3f at lag %ld windows; "
              "level ratio %.3f",
              wave.value, wave.lag, contour.value, contour.lag, level);
        QVERIFY(std::abs(wave.lag) <= 8);
        QVERIFY(wave.value > 0.8);
        QCOMPARE(contour.lag, 0L);
        QVERIFY(contour.value > 0.95);
        QVERIFY(level > 0.8 && level < 1.25);

        // The same measures reject a copy shifted by 50 ms and a garbled one.
        std::vector<double> shifted(output.size(), 0.0);
        std::copy(output.begin(), output.end() - 2400, shifted.begin() + 2400);
        QVERIFY(std::abs(similarity::bestLag(inEnvelope, similarity::envelope(shifted, 480), 50).lag) >= 4);
        QVERIFY(similarity::correlation(input, shifted, 0) < 0.3);
        std::vector<double> garbled = output;
        for (std::size_t at = 0; at + 960 <= garbled.size(); at += 960)
            std::reverse(garbled.begin() + long(at), garbled.begin() + long(at + 960));
        QVERIFY(similarity::bestLag(input, garbled, 32).value < 0.3);
    }

    void opusToolsReadTheRecording()
    {
        const QString opusinfo = QStandardPaths::findExecutable(QStringLiteral("opusinfo"));
        const QString opusdec = QStandardPaths::findExecutable(QStringLiteral("opusdec"));
        QVERIFY2(!opusinfo.isEmpty() && !opusdec.isEmpty(), "opus-tools is not installed");
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("recording.opus"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(recording);
        file.close();

        QProcess info;
        info.start(opusinfo, {path});
        QVERIFY(info.waitForFinished(30000));
        const QString report = QString::fromUtf8(info.readAllStandardOutput() + info.readAllStandardError());
        QVERIFY2(info.exitCode() == 0, qPrintable(report));
        QVERIFY2(report.contains(QStringLiteral("Channels: 1")), qPrintable(report));
        QVERIFY2(report.contains(QStringLiteral("Original sample rate: 48000 Hz")), qPrintable(report));
        QVERIFY2(report.contains(QStringLiteral("Playback gain: 8 dB")), qPrintable(report));
        QVERIFY2(!report.contains(QStringLiteral("WARNING")) && !report.contains(QStringLiteral("ERROR")),
                 qPrintable(report));

        const QString wav = dir.filePath(QStringLiteral("decoded.wav"));
        QProcess dec;
        dec.start(opusdec, {QStringLiteral("--quiet"), QStringLiteral("--rate"), QStringLiteral("48000"),
                            QStringLiteral("--float"), path, wav});
        QVERIFY(dec.waitForFinished(30000));
        QVERIFY2(dec.exitCode() == 0, dec.readAllStandardError().constData());
        QFile decoded(wav);
        QVERIFY(decoded.open(QIODevice::ReadOnly));
        const QByteArray bytes = decoded.readAll();
        const qsizetype data = bytes.indexOf("data");
        QVERIFY(bytes.startsWith("RIFF") && data > 0);
        QCOMPARE(qFromLittleEndian<quint16>(bytes.constData() + 22), quint16(1));     // channels
        QCOMPARE(qFromLittleEndian<quint32>(bytes.constData() + 24), quint32(48000)); // rate
        const qsizetype count = (bytes.size() - data - 8) / 4;
        QCOMPARE(count, frames * 960 - 312);
        std::vector<double> samples(static_cast<std::size_t>(count));
        for (qsizetype i = 0; i < count; ++i)
            samples[std::size_t(i)] =
                double(qFromLittleEndian<float>(bytes.constData() + data + 8 + 4 * i)) * 32768;
        const DecodedOpus reference = decodeWithOpusfile(recording);
        const double ratio = similarity::rms(samples) / similarity::rms(reference.samples);
        qInfo("opusdec against libopusfile, level ratio %.4f", ratio);
        QVERIFY(std::abs(ratio - 1.0) < 0.01);
    }

private:
    RecordingSink sink;
    std::vector<qint16> speech;
    QByteArray recording;
    qint64 frames = 0;
};

QTEST_GUILESS_MAIN(OggReadersTest)

#include "tst_oggreaders.moc"
