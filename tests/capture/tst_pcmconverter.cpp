// A device's mix format turned into the recorder's 48 kHz mono 16-bit PCM:
// every sample format, channels averaged, other rates resampled without a
// seam between blocks.
#include "pcmconverter.h"

#include <QTest>

#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

namespace {

template <typename T> std::vector<unsigned char> bytesOf(const std::vector<T> &samples)
{
    std::vector<unsigned char> out(samples.size() * sizeof(T));
    std::memcpy(out.data(), samples.data(), out.size());
    return out;
}

std::vector<unsigned char> int24(const std::vector<std::int32_t> &samples)
{
    std::vector<unsigned char> out;
    for (std::int32_t v : samples) {
        out.push_back(static_cast<unsigned char>(v & 0xff));
        out.push_back(static_cast<unsigned char>((v >> 8) & 0xff));
        out.push_back(static_cast<unsigned char>((v >> 16) & 0xff));
    }
    return out;
}

std::vector<float> sine(double frequency, int rate, std::size_t count, int channels = 1)
{
    std::vector<float> out;
    for (std::size_t i = 0; i < count; ++i) {
        const float v = float(0.5 * std::sin(2 * std::numbers::pi * frequency * double(i) / rate));
        for (int c = 0; c < channels; ++c)
            out.push_back(v);
    }
    return out;
}

std::vector<std::int16_t> convertAll(PcmConverter &converter, const std::vector<unsigned char> &bytes,
                                     std::uint32_t block)
{
    std::vector<std::int16_t> out;
    const std::uint32_t frames = std::uint32_t(bytes.size() / std::size_t(converter.bytesPerFrame()));
    for (std::uint32_t at = 0; at < frames; at += block) {
        const std::uint32_t n = std::min(block, frames - at);
        const auto &part = converter.convert(bytes.data() + std::size_t(at) * converter.bytesPerFrame(), n);
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

} // namespace

class PcmConverterTest : public QObject
{
    Q_OBJECT
private slots:
    void theRecordersOwnFormatPassesUnchanged()
    {
        PcmConverter converter(PcmConverter::Sample::Int16, 1, 48000);
        QVERIFY(converter.isValid());
        const std::vector<std::int16_t> samples{0, 1, -1, 32767, -32768, 1234};
        const auto &out = converter.convert(samples.data(), std::uint32_t(samples.size()));
        QCOMPARE(std::vector<std::int16_t>(out.begin(), out.end()), samples);
    }

    void everySampleFormatReadsToTheSameLevel_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("expected");
        QTest::newRow("16-bit")
            << int(PcmConverter::Sample::Int16)
            << QByteArray(reinterpret_cast<const char *>(bytesOf(std::vector<std::int16_t>{16384}).data()), 2)
            << 16384;
        const auto i24 = int24({4194304});
        QTest::newRow("24-bit") << int(PcmConverter::Sample::Int24)
                                << QByteArray(reinterpret_cast<const char *>(i24.data()), 3) << 16384;
        const auto i24n = int24({-4194304});
        QTest::newRow("24-bit negative")
            << int(PcmConverter::Sample::Int24) << QByteArray(reinterpret_cast<const char *>(i24n.data()), 3)
            << -16384;
        const auto i32 = bytesOf(std::vector<std::int32_t>{1073741824});
        QTest::newRow("32-bit") << int(PcmConverter::Sample::Int32)
                                << QByteArray(reinterpret_cast<const char *>(i32.data()), 4) << 16384;
        const auto f32 = bytesOf(std::vector<float>{0.5f});
        QTest::newRow("float") << int(PcmConverter::Sample::Float32)
                               << QByteArray(reinterpret_cast<const char *>(f32.data()), 4) << 16384;
        const auto loud = bytesOf(std::vector<float>{3.0f});
        QTest::newRow("float beyond full scale")
            << int(PcmConverter::Sample::Float32)
            << QByteArray(reinterpret_cast<const char *>(loud.data()), 4) << 32767;
        const auto nan = bytesOf(std::vector<float>{std::nanf("")});
        QTest::newRow("float not a number") << int(PcmConverter::Sample::Float32)
                                            << QByteArray(reinterpret_cast<const char *>(nan.data()), 4) << 0;
    }
    void everySampleFormatReadsToTheSameLevel()
    {
        QFETCH(int, format);
        QFETCH(QByteArray, bytes);
        QFETCH(int, expected);
        PcmConverter converter(PcmConverter::Sample(format), 1, 48000);
        const auto &out = converter.convert(bytes.constData(), 1);
        QCOMPARE(out.size(), std::size_t(1));
        // Within one step of 16-bit rounding.
        QVERIFY2(std::abs(int(out[0]) - expected) <= 1, qPrintable(QString::number(out[0])));
    }

    void channelsAreAveraged()
    {
        // Stereo float: opposite channels cancel, equal ones stay.
        PcmConverter stereo(PcmConverter::Sample::Float32, 2, 48000);
        const auto frames = bytesOf(std::vector<float>{0.5f, -0.5f, 0.25f, 0.25f});
        const auto &out = stereo.convert(frames.data(), 2);
        QCOMPARE(out.size(), std::size_t(2));
        QCOMPARE(out[0], std::int16_t(0));
        QCOMPARE(out[1], std::int16_t(8192));
        // Eight 16-bit channels, one of them speaking.
        PcmConverter eight(PcmConverter::Sample::Int16, 8, 48000);
        const auto one = bytesOf(std::vector<std::int16_t>{8000, 0, 0, 0, 0, 0, 0, 0});
        QCOMPARE(eight.convert(one.data(), 1).at(0), std::int16_t(1000));
    }

    void otherRatesAreResampledWithoutASeam_data()
    {
        QTest::addColumn<int>("rate");
        QTest::newRow("44.1 kHz") << 44100;
        QTest::newRow("96 kHz") << 96000;
        QTest::newRow("16 kHz") << 16000;
    }
    void otherRatesAreResampledWithoutASeam()
    {
        QFETCH(int, rate);
        const std::size_t seconds = 1;
        const auto input = bytesOf(sine(440.0, rate, std::size_t(rate) * seconds, 2));
        PcmConverter whole(PcmConverter::Sample::Float32, 2, rate);
        const std::vector<std::int16_t> once = convertAll(whole, input, std::uint32_t(rate) * 10);
        // One second in, one second out, but for the output samples that lie
        // after the last input sample (they come with the next block).
        QVERIFY2(std::abs(int(once.size()) - 48000) <= 48000 / rate + 1,
                 qPrintable(QString::number(once.size())));
        // In device-sized blocks (10 ms, and an odd size), sample for sample the same.
        for (std::uint32_t block : {std::uint32_t(rate / 100), std::uint32_t(997)}) {
            PcmConverter pieces(PcmConverter::Sample::Float32, 2, rate);
            QCOMPARE(convertAll(pieces, input, block), once);
        }
        // The tone is the same tone at 48 kHz: close to the ideal one.
        double error = 0.0;
        for (std::size_t i = 0; i < once.size(); ++i) {
            const double ideal = 0.5 * 32767 * std::sin(2 * std::numbers::pi * 440.0 * double(i) / 48000);
            error = std::max(error, std::abs(ideal - once[i]));
        }
        QVERIFY2(error < 0.01 * 32767 + 2, qPrintable(QString::number(error)));
    }

    void deviceLayoutsMapToWhatTheConverterReads()
    {
        using S = PcmConverter::Sample;
        QCOMPARE(PcmConverter::sampleOf(true, 32), std::optional(S::Float32));
        QCOMPARE(PcmConverter::sampleOf(false, 16), std::optional(S::Int16));
        QCOMPARE(PcmConverter::sampleOf(false, 24), std::optional(S::Int24));
        // 24 valid bits in a 32-bit container read as 32-bit.
        QCOMPARE(PcmConverter::sampleOf(false, 32), std::optional(S::Int32));
        QCOMPARE(PcmConverter::sampleOf(true, 64), std::nullopt);
        QCOMPARE(PcmConverter::sampleOf(false, 8), std::nullopt);
        QCOMPARE(PcmConverter::sampleOf(false, 0), std::nullopt);
    }

    void silenceAndNonsenseGiveNothingUnexpected()
    {
        PcmConverter converter(PcmConverter::Sample::Int32, 2, 44100);
        const auto &silent = converter.convert(nullptr, 441);
        QVERIFY(silent.size() >= 479 && silent.size() <= 481);
        QVERIFY(std::all_of(silent.begin(), silent.end(), [](std::int16_t v) { return v == 0; }));
        QVERIFY(converter.convert(nullptr, 0).empty());
        for (const auto &[channels, rate] :
             {std::pair{0, 48000}, std::pair{2, 0}, std::pair{-1, 44100}, std::pair{100, 48000}}) {
            PcmConverter odd(PcmConverter::Sample::Float32, channels, rate);
            QVERIFY(!odd.isValid());
            const float any = 0.5f;
            QVERIFY(odd.convert(&any, 1).empty());
        }
    }
};

QTEST_APPLESS_MAIN(PcmConverterTest)
#include "tst_pcmconverter.moc"
