#include "alsacapturebackend.h"
#include "audioinput.h"
#include "capturedevice.h"

#include <QRegularExpression>
#include <QTest>

#include <iostream>
#include <sstream>

// A default PCM that cannot be opened (tests/data/alsa/missing-device.conf):
// set-up fails with a line on the error stream, and is tried again later.
class AlsaCaptureFailureTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY2(qEnvironmentVariable("ALSA_CONFIG_PATH").endsWith(QLatin1String("missing-device.conf")),
                 "run through ctest, which points ALSA at the test configuration");
    }

    void openFailureIsReportedLikeTheWindowsLayer()
    {
        std::ostringstream errors;
        AlsaCaptureBackend backend(errors);
        QVERIFY(!backend.open());
        const QString line = QString::fromStdString(errors.str());
        QVERIFY2(
            QRegularExpression(QStringLiteral("^snd_pcm_open failed[0-9a-f]+\\n$")).match(line).hasMatch(),
            qPrintable(line));
        // The failing call's error, as a 32-bit code.
        const int code = int(line.mid(19).trimmed().toUInt(nullptr, 16));
        QVERIFY(code < 0);
        QCOMPARE(backend.wait(std::chrono::milliseconds(200)), CaptureBackend::WaitResult::Failed);
        std::uint32_t frames = 1;
        QVERIFY(!backend.nextPacketSize(frames));
        QCOMPARE(frames, 0U);
        QVERIFY(!backend.start());
    }

    void failedDeviceIsSetUpAgainAtTheNextPress()
    {
        std::ostringstream errors;
        std::streambuf *standardError = std::cerr.rdbuf(errors.rdbuf());
        AudioInput &first = capture::ensureCaptureDevice();
        const bool firstInitialised = first.isInitialised();
        const bool firstStarted = first.start();
        AudioInput &second = capture::ensureCaptureDevice();
        const bool secondInitialised = second.isInitialised();
        std::cerr.rdbuf(standardError);

        QVERIFY(!firstInitialised);
        QVERIFY(!firstStarted);
        QVERIFY(!secondInitialised);
        // Each press tried to open the device again, and said so.
        const QStringList lines = QString::fromStdString(errors.str()).split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        for (const QString &line : lines)
            QVERIFY(line.startsWith(QLatin1String("snd_pcm_open failed")));
        capture::releaseCaptureDevice();
        QCOMPARE(capture::currentDevice(), nullptr);
    }
};

QTEST_GUILESS_MAIN(AlsaCaptureFailureTest)

#include "tst_alsacapturefailure.moc"
