// A sound output that cannot be opened (ALSA pointed at a configuration
// whose default device does not exist): the failure is reported on the
// back end's error stream, as the capture side reports its own.
#include "alsarenderbackend.h"

#include <QRegularExpression>
#include <QTest>

#include <sstream>

class AlsaRenderFailureTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY2(qEnvironmentVariable("ALSA_CONFIG_PATH").endsWith(QLatin1String("missing-device.conf")),
                 "run through ctest, which points ALSA at the test configuration");
    }

    void openFailureIsReportedOnTheErrorStream()
    {
        std::ostringstream errors;
        AlsaRenderBackend backend(errors);
        QVERIFY(!backend.open());
        const QString line = QString::fromStdString(errors.str());
        QVERIFY2(QRegularExpression(QStringLiteral("^AudioOutput Error: snd_pcm_open failed: .+\\n$"))
                     .match(line)
                     .hasMatch(),
                 qPrintable(line));
    }
};

QTEST_GUILESS_MAIN(AlsaRenderFailureTest)
#include "tst_alsarenderfailure.moc"
