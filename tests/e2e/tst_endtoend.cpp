// The whole application in one process: the real main window with the real
// native objects, the local service over TLS, and ALSA's file plugin as
// microphone and loudspeaker. Typing and speaking are done with real key and
// mouse events on the window.
#include "cloudfixture.h"
#include "fifomicrophone.h"
#ifdef TOLKA_TEST_X11
#include "focusedclient.h"
#endif
#include "renderwatch.h"
#include "secretservice.h"
#include "serviceaccount.h"
#include "startup.h"
#include "tts.h"

#include <QAccessible>
#include <QSettings>

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
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

const QByteArray userKey = "TypedTranslatorKey0123456789abcdefgh";

// Every text the window offers to assistive technology.
void accessibleTexts(QAccessibleInterface *node, QStringList &texts, int depth = 0)
{
    if (!node || depth > 60)
        return;
    for (QAccessible::Text kind : {QAccessible::Name, QAccessible::Description, QAccessible::Value})
        texts.append(node->text(kind));
    for (int i = 0; i < node->childCount(); ++i)
        accessibleTexts(node->child(i), texts, depth + 1);
}

QStringList &capturedLog()
{
    static QStringList lines;
    return lines;
}

QtMessageHandler previousHandler = nullptr;

void captureMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    capturedLog().append(message);
    if (previousHandler)
        previousHandler(type, context, message);
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
        // The transcript and the speech cache stay out of the user's folders.
        qputenv("XDG_DATA_HOME", folder.filePath(QStringLiteral("data")).toLocal8Bit());
        qputenv("XDG_CACHE_HOME", folder.filePath(QStringLiteral("cache")).toLocal8Bit());
        qputenv("TOLKA_RENDER_FILE", renderFile.toLocal8Bit());
        QFile speech(QStringLiteral(TOLKA_TEST_DATA "/speech/sentence.raw"));
        QVERIFY(speech.open(QIODevice::ReadOnly));
        sentence = speech.readAll();
        QVERIFY(microphone.start());
        qputenv("TOLKA_MIC_FILE", QFile::encodeName(microphone.path()));
        qputenv("ALSA_CONFIG_PATH", QByteArray("/usr/share/alsa/alsa.conf:" TOLKA_FILE_DEVICES));

        // Keys typed in the window go to a real Secret Service.
        QString error;
        QVERIFY2(secrets.start(&error), qPrintable(error));
        previousHandler = qInstallMessageHandler(captureMessage);
        QVERIFY2(fixture.startService(&error), qPrintable(error));
        KeyRing keys = KeyRing::buildKeys();
        keys.translator.insert(userKey, QStringLiteral("user-translator"));
        fixture.service().setKeys(keys);
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

    void aRefusedKeyIsToldInWords()
    {
        const QByteArray denied = R"({"error":{"code":401000,"message":"The request is not authorized."}})";
        fixture.service().script().push(Operation::Translation, ScriptedReply::withBody(401, denied));
        fixture.service().script().push(Operation::Translation, ScriptedReply::withBody(401, denied));
        source->forceActiveFocus();
        QTest::keySequence(window, QKeySequence::SelectAll);
        for (const char c : QByteArrayLiteral("Thank you"))
            QTest::keyClick(window, c);
        QTest::keyClick(window, Qt::Key_Return);
        const auto notice = [&] { return window->findChild<QObject *>(QStringLiteral("Notice")); };
        QTRY_VERIFY_WITH_TIMEOUT(notice() && notice()->property("opened").toBool(), 15000);
        QCOMPARE(notice()->property("text").toString(), QStringLiteral("The key was rejected."));
        QCOMPARE(notice()->property("actionText").toString(), QStringLiteral("Service account"));
        QCOMPARE(item(window, "noticeText")->property("text").toString(),
                 QStringLiteral("The key was rejected."));
        QMetaObject::invokeMethod(notice(), "close");
        QTRY_VERIFY(!notice()->property("visible").toBool());
    }

    void cleanupTestCase()
    {
        microphone.stop();
        // Signals the render thread emits on the window reach QML through
        // small proxy objects queued for the GUI thread, each freed when it
        // is delivered; with the window hidden no more come, and delivering
        // the queued ones now frees them before the process ends.
        if (window)
            window->hide();
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        qInstallMessageHandler(previousHandler);
    }

    void accountPanelChecksWhatTheUserTyped()
    {
        // Settings, then the service account.
        QVariant options;
        QVERIFY(QMetaObject::invokeMethod(window, "panelFor", Q_RETURN_ARG(QVariant, options),
                                          Q_ARG(QString, QStringLiteral("Options")),
                                          Q_ARG(QVariant, QVariant::fromValue(window))));
        QMetaObject::invokeMethod(options.value<QObject *>(), "open");
        QTRY_VERIFY(options.value<QObject *>()->property("opened").toBool());
        QQuickItem *open = item(window, "openAccount");
        QVERIFY(open);
        QTest::mouseClick(window, Qt::LeftButton, {},
                          open->mapToScene(QPointF(open->width() / 2, open->height() / 2)).toPoint());
        QTRY_VERIFY(window->findChild<QObject *>(QStringLiteral("Account")) &&
                    window->findChild<QObject *>(QStringLiteral("Account"))->property("opened").toBool());
        QObject *dialog = window->findChild<QObject *>(QStringLiteral("Account"));

        const auto typeKey = [&](const QByteArray &key) {
            QQuickItem *field = item(window, "translatorKey");
            field->forceActiveFocus();
            for (const char c : key)
                QTest::keyClick(window, c);
        };
        const auto checkSays = [&]() {
            QQuickItem *button = item(window, "checkAccount");
            QTest::mouseClick(
                window, Qt::LeftButton, {},
                button->mapToScene(QPointF(button->width() / 2, button->height() / 2)).toPoint());
            if (!QTest::qWaitFor(
                    [&] {
                        return !dialog->property("checking").toBool() &&
                               item(window, "translationCheck")->isVisible();
                    },
                    30000))
                return QString();
            return item(window, "translationCheck")->property("text").toString();
        };

        typeKey(userKey);
        const QString working = checkSays();
        QVERIFY2(working.endsWith(QLatin1String("Working")), qPrintable(working));
        // Stored: gone from the field, its end shown.
        QCOMPARE(item(window, "translatorKey")->property("text").toString(), QString());
        QTRY_VERIFY(item(window, "translatorKey")
                        ->property("placeholderText")
                        .toString()
                        .endsWith(QLatin1String("efgh")));

        typeKey("0000000000000000000000000000dead");
        const QString rejected = checkSays();
        QVERIFY2(rejected.contains(QLatin1String("Key rejected (401000)")), qPrintable(rejected));

        const QByteArray origin = qgetenv("TOLKA_CLOUD_ORIGIN");
        qputenv("TOLKA_CLOUD_ORIGIN", "https://127.0.0.1:1");
        const QString unreachable = checkSays();
        qputenv("TOLKA_CLOUD_ORIGIN", origin);
        QVERIFY2(unreachable.endsWith(QLatin1String("No network")), qPrintable(unreachable));

        // The keys typed appear nowhere but in the credential store.
        QSettings().sync();
        QFile settings(QSettings().fileName());
        QVERIFY(settings.open(QIODevice::ReadOnly));
        const QByteArray stored = settings.readAll();
        QVERIFY(stored.contains("stored"));
        QStringList texts;
        accessibleTexts(QAccessible::queryAccessibleInterface(window), texts);
        QVERIFY(texts.size() > 20);
        for (const QByteArray &key : {userKey, QByteArray("0000000000000000000000000000dead")}) {
            QVERIFY(!stored.contains(key));
            for (const QString &line : capturedLog())
                QVERIFY2(!line.contains(QString::fromLatin1(key)), qPrintable(line));
            for (const QString &text : texts)
                QVERIFY2(!text.contains(QString::fromLatin1(key.left(12))), qPrintable(text));
        }
        QMetaObject::invokeMethod(dialog, "close");
        QTRY_VERIFY(!dialog->property("visible").toBool());
        // The build's keys again for what follows.
        ServiceAccount::instance().setKey(QStringLiteral("translator"), {});
    }

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

    // Two people take turns: each button records, translates and speaks its
    // own way, through the real client and the service.
    void conversationTurnsGoEachWay()
    {
        item(window, "clangsource")->setProperty("currentLang", QStringLiteral("en-US"));
        item(window, "clangdest")->setProperty("currentLang", QStringLiteral("fr-FR"));
        window->setProperty("conversation", true);
        window->setProperty("transcriptModel", QVariantList());
        waitUntilQuiet();
        fixture.service().log().clear();
        const QString voices[] = {window->property("currentShortName").toString(),
                                  window->property("sourceShortName").toString()};
        QVERIFY(voices[0].startsWith(QStringLiteral("fr-FR-")));
        QVERIFY(voices[1].startsWith(QStringLiteral("en-US-")));
        const char *buttons[] = {"talkForwardArea", "talkBackwardArea"};
        for (int turn = 0; turn < 2; ++turn) {
            QQuickItem *button = item(window, buttons[turn]);
            QVERIFY(button && button->isVisible());
            const QPoint centre =
                button->mapToScene(QPointF(button->width() / 2, button->height() / 2)).toPoint();
            QTest::mousePress(window, Qt::LeftButton, {}, centre);
            QTRY_VERIFY_WITH_TIMEOUT(item(window, "TimerLabel") && item(window, "TimerLabel")->isVisible(),
                                     10000);
            microphone.speak(sentence);
            QTest::qWait(1500);
            QTest::mouseRelease(window, Qt::LeftButton, {}, centre);
            QTRY_COMPARE_WITH_TIMEOUT(fixture.service().log().entries(Operation::Synthesis).size(), turn + 1,
                                      20000);
            const bool backward = turn == 1;
            const QList<LoggedRequest> recognitions = fixture.service().log().entries(Operation::Recognition);
            const QList<LoggedRequest> translations = fixture.service().log().entries(Operation::Translation);
            const QList<LoggedRequest> syntheses = fixture.service().log().entries(Operation::Synthesis);
            QCOMPARE(recognitions.size(), turn + 1);
            QCOMPARE(translations.size(), turn + 1);
            const QString heard = recognitions.at(turn).query;
            QVERIFY2(heard.contains(backward ? u"language=fr-FR" : u"language=en-US"), qPrintable(heard));
            // The translator is told the source and the target in the body.
            const QJsonObject input = QJsonDocument::fromJson(translations.at(turn).body)
                                          .object()
                                          .value(QStringLiteral("inputs"))
                                          .toArray()
                                          .at(0)
                                          .toObject();
            QCOMPARE(input.value(QStringLiteral("language")).toString(),
                     backward ? QStringLiteral("fr") : QStringLiteral("en"));
            QCOMPARE(input.value(QStringLiteral("targets"))
                         .toArray()
                         .at(0)
                         .toObject()
                         .value(QStringLiteral("language"))
                         .toString(),
                     backward ? QStringLiteral("en") : QStringLiteral("fr"));
            const QByteArray spoken = syntheses.at(turn).body;
            QVERIFY2(spoken.contains(backward ? "xml:lang='en-US'" : "xml:lang='fr-FR'"), spoken.constData());
            QVERIFY2(spoken.contains("name='" + voices[turn].toUtf8() + "'"), spoken.constData());
            // The heard words are in the field of the language they were spoken in.
            QCOMPARE((backward ? dest : source)->property("text").toString(), QStringLiteral("Hello world."));
        }
        const QVariantList exchanges = window->property("transcriptModel").toList();
        QCOMPARE(exchanges.size(), 2);
        QCOMPARE(exchanges[0].toMap().value(QStringLiteral("direction")).toString(),
                 QStringLiteral("forward"));
        QCOMPARE(exchanges[1].toMap().value(QStringLiteral("direction")).toString(),
                 QStringLiteral("backward"));
        window->setProperty("conversation", false);
        QMetaObject::invokeMethod(window, "forwardMessage", Q_ARG(QString, QStringLiteral("ISPLAYING")),
                                  Q_ARG(QVariant, false));
    }

    // A history entry whose speech is cached is shown with its translation
    // and spoken again without a request.
    void historyReplaysFromTheCacheWithoutARequest()
    {
        waitUntilQuiet();
        fixture.service().log().clear();
        source->forceActiveFocus();
        QTest::keySequence(window, QKeySequence::SelectAll);
        for (const char c : QByteArrayLiteral("See you soon"))
            QTest::keyClick(window, c);
        QTest::keyClick(window, Qt::Key_Return);
        QTRY_COMPARE_WITH_TIMEOUT(fixture.service().log().entries(Operation::Synthesis).size(), 1, 15000);
        QTRY_VERIFY_WITH_TIMEOUT(
            !item(window, "RepeatBt") || !item(window, "RepeatBt")->property("isPlaying").toBool(), 15000);
        const qsizetype requests = fixture.service().log().entries().size();
        QMetaObject::invokeMethod(source, "clear");
        QMetaObject::invokeMethod(dest, "clear");
        const qsizetype renderedBefore = QFileInfo(renderFile).size();
        QVariant drawer;
        QVERIFY(QMetaObject::invokeMethod(window, "panelFor", Q_RETURN_ARG(QVariant, drawer),
                                          Q_ARG(QString, QStringLiteral("History")),
                                          Q_ARG(QVariant, QVariant::fromValue(window))));
        QObject *history = drawer.value<QObject *>();
        QVERIFY(history);
        QMetaObject::invokeMethod(history, "open");
        QTRY_COMPARE(history->property("position").toReal(), 1.0);
        auto *list = window->findChild<QQuickItem *>(QStringLiteral("historyList"));
        QVERIFY(list);
        QQuickItem *entry = nullptr;
        QVERIFY(
            QMetaObject::invokeMethod(list, "itemAtIndex", Q_RETURN_ARG(QQuickItem *, entry), Q_ARG(int, 0)));
        QVERIFY(entry);
        QTest::mouseClick(window, Qt::LeftButton, {},
                          entry->mapToScene(QPointF(entry->width() / 2, entry->height() / 2)).toPoint());
        QTRY_COMPARE(source->property("text").toString(), QStringLiteral("See you soon"));
        QCOMPARE(dest->property("text").toString(), QStringLiteral("See you soon"));
        QTRY_VERIFY_WITH_TIMEOUT(RenderWatch::loudSamples(renderFile, renderedBefore) > 0, 15000);
        QCOMPARE(fixture.service().log().entries().size(), requests);
    }

    // The global key records while another program has the focus; the
    // window stays behind it.
    void globalKeyRecordsWhileAnotherProgramHasTheFocus()
    {
#ifndef TOLKA_TEST_X11
        QSKIP("the X11 test client is not built here");
#else
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("needs an X server");
        waitUntilQuiet();
        fixture.service().log().clear();
        QMetaObject::invokeMethod(source, "clear");
        QMetaObject::invokeMethod(dest, "clear");
        FocusedClient other;
        QVERIFY(other.open());
        QTRY_VERIFY(!window->isActive());
        window->setProperty("holdKey", QStringLiteral("Ctrl+Alt+Space"));
        window->setProperty("holdKeyOn", true);
        QTRY_COMPARE(window->property("holdKeyStatus").toString(), QStringLiteral("bound"));

        QVERIFY(xdotool(QStringLiteral("keydown")));
        QTRY_VERIFY_WITH_TIMEOUT(item(window, "TimerLabel") && item(window, "TimerLabel")->isVisible(),
                                 10000);
        microphone.speak(sentence);
        QTest::qWait(1500);
        QVERIFY(xdotool(QStringLiteral("keyup")));
        QTRY_COMPARE_WITH_TIMEOUT(fixture.service().log().entries(Operation::Synthesis).size(), 1, 20000);
        QCOMPARE(fixture.service().log().entries(Operation::Recognition).size(), 1);
        QCOMPARE(source->property("text").toString(), QStringLiteral("Hello world."));
        QVERIFY(!window->isActive());
        // The grab kept the combination from the program that has the focus.
        other.collect();
        QCOMPARE(other.presses(other.keycodeOf(spaceKeysym)), 0);

        window->setProperty("holdKeyOn", false);
        QTRY_COMPARE(window->property("holdKeyStatus").toString(), QStringLiteral("off"));
        QVERIFY(xdotool(QStringLiteral("keydown")));
        QVERIFY(xdotool(QStringLiteral("keyup")));
        QTest::qWait(300);
        QCOMPARE(fixture.service().log().entries(Operation::Recognition).size(), 1);
        other.collect();
        QCOMPARE(other.presses(other.keycodeOf(spaceKeysym)), 1);
#endif
    }

private:
    // Presses or releases Ctrl+Alt+Space through the X server's test extension.
    static bool xdotool(const QString &action)
    {
        QProcess process;
        process.start(QStringLiteral("xdotool"), {action, QStringLiteral("ctrl+alt+space")});
        return process.waitForFinished(5000) && process.exitStatus() == QProcess::NormalExit &&
               process.exitCode() == 0;
    }
    static constexpr std::uint32_t spaceKeysym = 0x20;

    // The requests of the test before may still be arriving: waits until
    // none has come for half a second (ten seconds at most).
    void waitUntilQuiet()
    {
        QDeadlineTimer limit(10000);
        qsizetype seen = -1;
        while (!limit.hasExpired() && seen != fixture.service().log().entries().size()) {
            seen = fixture.service().log().entries().size();
            QTest::qWait(500);
        }
    }

    PrivateSecretService secrets;
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
