// The whole application in one process: the real main window with the real
// native objects, the local service over TLS, and ALSA's file plugin as
// microphone and loudspeaker. Typing and speaking are done with real key and
// mouse events on the window.
#include "cloudfixture.h"
#include "fifomicrophone.h"
#include "renderwatch.h"
#include "startup.h"
#include "tts.h"

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QTest>

namespace {

QQuickItem *item(QQuickWindow *window, const char *name)
{
    return window->findChild<QQuickItem *>(QString::fromLatin1(name));
}

} // namespace

class EndToEndTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(folder.isValid());
        renderFile = folder.filePath(QStringLiteral("rendered.raw"));
        qputenv("XDG_CONFIG_HOME", folder.filePath(QStringLiteral("config")).toLocal8Bit());
        qputenv("TOLKA_RENDER_FILE", renderFile.toLocal8Bit());
        QFile speech(QStringLiteral(TOLKA_TEST_DATA "/speech/sentence.raw"));
        QVERIFY(speech.open(QIODevice::ReadOnly));
        sentence = speech.readAll();
        QVERIFY(microphone.start());
        qputenv("TOLKA_MIC_FILE", QFile::encodeName(microphone.path()));
        qputenv("ALSA_CONFIG_PATH", QByteArray("/usr/share/alsa/alsa.conf:" TOLKA_FILE_DEVICES));

        QString error;
        QVERIFY2(fixture.startService(&error), qPrintable(error));
        qputenv("TOLKA_CLOUD_ORIGIN", fixture.service().origin().toUtf8());
        qputenv("TOLKA_CLOUD_CA_FILE", fixture.caPath().toUtf8());

        tolka::setIdentity(*QCoreApplication::instance());
        tts::configSSL();
        window = qobject_cast<QQuickWindow *>(tolka::loadMainWindow(engine));
        QVERIFY(window);
        window->resize(420, 760);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        source = window->property("textToTranslateField").value<QQuickItem *>();
        dest = window->property("translatedTextField").value<QQuickItem *>();
        QVERIFY(source && dest);
    }

    void typedSentenceIsTranslatedAndSpoken()
    {
        source->forceActiveFocus();
        for (const char c : QByteArrayLiteral("Good morning, dear friends"))
            QTest::keyClick(window, c);
        QTest::keyClick(window, Qt::Key_Return);
        // The service's translation engine sends the text back unchanged.
        QTRY_COMPARE_WITH_TIMEOUT(dest->property("text").toString(),
                                  QStringLiteral("Good morning, dear friends"), 15000);
        QCOMPARE(fixture.service().log().entries(Operation::Translation).size(), 1);
        // The synthesis reply is decoded and rendered through ALSA.
        QTRY_VERIFY_WITH_TIMEOUT(RenderWatch::loudSamples(renderFile) > 0, 15000);
        QCOMPARE(fixture.service().log().entries(Operation::Synthesis).size(), 1);
    }

    void cleanupTestCase() { microphone.stop(); }

    void heldMicrophoneRecordsRecognisesTranslatesAndSpeaks()
    {
        QQuickItem *mic = item(window, "micImage");
        QVERIFY(mic);
        const QPoint centre = mic->mapToScene(QPointF(mic->width() / 2, mic->height() / 2)).toPoint();
        const qsizetype renderedBefore = QFileInfo(renderFile).size();
        QTest::mousePress(window, Qt::LeftButton, {}, centre);
        // The prompt sound plays, then the recording runs while the button is held.
        QTRY_VERIFY_WITH_TIMEOUT(item(window, "TimerLabel") && item(window, "TimerLabel")->isVisible(),
                                 10000);
        microphone.speak(sentence);
        QTest::qWait(1500);
        QTest::mouseRelease(window, Qt::LeftButton, {}, centre);

        QTRY_COMPARE_WITH_TIMEOUT(source->property("text").toString(), QStringLiteral("Hello world."), 15000);
        QTRY_COMPARE_WITH_TIMEOUT(dest->property("text").toString(), QStringLiteral("Hello world."), 15000);
        const QList<LoggedRequest> recognitions = fixture.service().log().entries(Operation::Recognition);
        QCOMPARE(recognitions.size(), 1);
        // A recording of about 1.5 s at 24 kbit/s, not an empty stream.
        QVERIFY2(recognitions.constFirst().bodyLength > 2000,
                 qPrintable(QString::number(recognitions.constFirst().bodyLength)));
        QTRY_VERIFY_WITH_TIMEOUT(RenderWatch::loudSamples(renderFile, renderedBefore) > 0, 15000);
    }

private:
    QTemporaryDir folder;
    FifoMicrophone microphone{folder.filePath(QStringLiteral("microphone.fifo"))};
    QByteArray sentence;
    QString renderFile;
    CloudFixture fixture;
    QQmlApplicationEngine engine;
    QQuickWindow *window = nullptr;
    QQuickItem *source = nullptr;
    QQuickItem *dest = nullptr;
};

QTEST_MAIN(EndToEndTest)
#include "tst_endtoend.moc"
