// Opens the real main window and every panel, in the light and dark themes,
// checks that nothing visible is cut off by the window, and writes a
// screenshot of each to $TOLKA_SCREENSHOTS (when set). The interface
// language comes from the system locale, so ctest runs this once per
// language with LANG set.
#include "startup.h"

#include <QDir>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QTest>

#include <tuple>

namespace {

const QStringList panels{
    QStringLiteral("Menus"),        QStringLiteral("Options"), QStringLiteral("Speakers"),
    QStringLiteral("History"),      QStringLiteral("Theme"),   QStringLiteral("About"),
    QStringLiteral("Contributors"), QStringLiteral("Account"), QStringLiteral("Transcript")};

// Two turns of a conversation, one each way, as the transcript keeps them.
QVariantList sampleExchanges()
{
    const auto exchange = [](const char *time, const char *direction, const char *from, const char *to,
                             const QString &source, const QString &translation) {
        return QVariantMap{{QStringLiteral("time"), QString::fromLatin1(time)},
                           {QStringLiteral("direction"), QString::fromLatin1(direction)},
                           {QStringLiteral("sourceLanguage"), QString::fromLatin1(from)},
                           {QStringLiteral("targetLanguage"), QString::fromLatin1(to)},
                           {QStringLiteral("sourceText"), source},
                           {QStringLiteral("translation"), translation},
                           {QStringLiteral("voice"), QString()}};
    };
    return {exchange("2026-12-09T10:15:02.000Z", "forward", "en-US", "fr-FR",
                     QStringLiteral("Where is the train station?"), QStringLiteral("Où est la gare ?")),
            exchange("2026-12-09T10:15:09.000Z", "backward", "fr-FR", "en-US",
                     QStringLiteral("Tout droit, puis à gauche après le pont."),
                     QStringLiteral("Straight ahead, then left after the bridge."))};
}

QVariantMap failure(const QString &service, const QString &kind, const QString &code, int wait = 0)
{
    return {{QStringLiteral("service"), service},
            {QStringLiteral("failure"), kind},
            {QStringLiteral("status"), 400},
            {QStringLiteral("code"), code},
            {QStringLiteral("wait"), wait}};
}

// An AUDIOERROR value: the device, and the reason when there is one.
QVariantMap deviceError(const QString &device, const QString &reason = QString())
{
    QVariantMap value{{QStringLiteral("device"), device}};
    if (!reason.isEmpty())
        value.insert(QStringLiteral("reason"), reason);
    return value;
}

// What the user may be told, by the messages that tell it, in the order
// shown. A "SERVICE" value is the state the offline engines are put in.
const QList<std::tuple<QString, QString, QVariant>> messages{
    {QStringLiteral("keyRejected"), QStringLiteral("ERROR"),
     failure(QStringLiteral("translation"), QStringLiteral("keyRejected"), QStringLiteral("401000"))},
    {QStringLiteral("throttled"), QStringLiteral("ERROR"),
     failure(QStringLiteral("synthesis"), QStringLiteral("throttled"), QStringLiteral("429"), 3000)},
    {QStringLiteral("nothingRecognised"), QStringLiteral("ERROR"),
     failure(QStringLiteral("recognition"), QStringLiteral("nothingRecognised"), QStringLiteral("NoMatch"))},
    {QStringLiteral("languageRefused"), QStringLiteral("ERROR"),
     failure(QStringLiteral("translation"), QStringLiteral("badRequest"), QStringLiteral("400036"))},
    {QStringLiteral("microphone"), QStringLiteral("AUDIOERROR"), deviceError(QStringLiteral("microphone"))},
    {QStringLiteral("output"), QStringLiteral("AUDIOERROR"), deviceError(QStringLiteral("output"))},
    {QStringLiteral("microphoneLost"), QStringLiteral("AUDIOERROR"),
     deviceError(QStringLiteral("microphone"), QStringLiteral("lost"))},
    {QStringLiteral("outputLost"), QStringLiteral("AUDIOERROR"),
     deviceError(QStringLiteral("output"), QStringLiteral("lost"))},
    {QStringLiteral("deviceInUse"), QStringLiteral("AUDIOERROR"),
     deviceError(QStringLiteral("output"), QStringLiteral("inUse"))},
    {QStringLiteral("microphoneBlocked"), QStringLiteral("AUDIOERROR"),
     deviceError(QStringLiteral("microphone"), QStringLiteral("permission"))},
    {QStringLiteral("speechUnplayable"), QStringLiteral("ERROR"),
     failure(QStringLiteral("synthesis"), QStringLiteral("transient"), QStringLiteral("undecodable"))},
    {QStringLiteral("unreachable"), QStringLiteral("WARNING"), false},
    {QStringLiteral("offlineStarting"), QStringLiteral("SERVICE"), QStringLiteral("starting")},
    {QStringLiteral("offlineFailed"), QStringLiteral("SERVICE"), QStringLiteral("failed")}};

// Visible text items that stick out of the window.
void collectCutOff(QQuickItem *item, const QRectF &window, QStringList &found)
{
    if (!item || !item->isVisible() || item->opacity() == 0)
        return;
    const QVariant text = item->property("text");
    if (text.isValid() && !text.toString().trimmed().isEmpty() && item->width() > 0) {
        const QRectF box = item->mapRectToScene(QRectF(0, 0, item->width(), item->height()));
        if (!window.adjusted(-1, -1, 1, 1).contains(box))
            found << QStringLiteral("%1 \"%2\" at %3,%4 %5x%6")
                         .arg(QString::fromLatin1(item->metaObject()->className()), text.toString())
                         .arg(box.x())
                         .arg(box.y())
                         .arg(box.width())
                         .arg(box.height());
        // A label whose text needs more room than it has is cut or elided.
        const QVariant wanted = item->property("implicitWidth");
        const QVariant elide = item->property("elide");
        if (item->inherits("QQuickText") && elide.isValid() && wanted.toReal() > item->width() + 1 &&
            item->property("wrapMode").toInt() == 0)
            found << QStringLiteral("too narrow: \"%1\" needs %2, has %3")
                         .arg(text.toString())
                         .arg(wanted.toReal())
                         .arg(item->width());
    }
    for (QQuickItem *child : item->childItems())
        collectCutOff(child, window, found);
}

} // namespace

class ScreensTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(settingsDir.isValid());
        qputenv("XDG_CONFIG_HOME", settingsDir.path().toLocal8Bit());
        // The transcript and the speech cache stay out of the user's folders.
        qputenv("XDG_DATA_HOME", settingsDir.filePath(QStringLiteral("data")).toLocal8Bit());
        qputenv("XDG_CACHE_HOME", settingsDir.filePath(QStringLiteral("cache")).toLocal8Bit());
        tolka::setIdentity(*QCoreApplication::instance());
        window = qobject_cast<QQuickWindow *>(tolka::loadMainWindow(engine));
        QVERIFY(window);
        window->resize(360, 640); // the smallest size the window allows on a phone-like screen
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        // Without an account the window runs on the offline engines: shown
        // once they are up (and what they offer is known).
        QTRY_COMPARE_WITH_TIMEOUT(
            window->property("service").toMap().value(QStringLiteral("state")).toString(),
            QStringLiteral("ready"), 30000);
        QTRY_VERIFY(
            !window->property("service").toMap().value(QStringLiteral("capabilities")).toMap().isEmpty());
        language = QLocale::system().name();
        outDir = qEnvironmentVariable("TOLKA_SCREENSHOTS");
        if (!outDir.isEmpty())
            QDir().mkpath(outDir);
    }

    void screens_data()
    {
        QTest::addColumn<bool>("light");
        QTest::newRow("light") << true;
        QTest::newRow("dark") << false;
    }

    void screens()
    {
        QFETCH(bool, light);
        window->setProperty("isLight", light);
        check(QStringLiteral("main"), light);
        for (const QString &name : panels) {
            showPanel(name, name, light);
            if (QTest::currentTestFailed())
                return;
        }
        const QVariantMap service = window->property("service").toMap();
        for (const auto &[name, tag, value] : messages) {
            QVariant message = value;
            if (tag == u"SERVICE") {
                QVariantMap state = service;
                state.insert(QStringLiteral("state"), value);
                message = state;
            }
            QVERIFY2(QMetaObject::invokeMethod(window, "forwardMessage", Q_ARG(QString, tag),
                                               Q_ARG(QVariant, message)),
                     qPrintable(name));
            QObject *popup = window->findChild<QObject *>(tag == u"WARNING" ? QStringLiteral("Warning")
                                                                            : QStringLiteral("Notice"));
            QVERIFY2(popup, qPrintable(name));
            QTRY_VERIFY2(popup->property("opened").toBool(), qPrintable(name));
            check(QStringLiteral("message-") + name, light);
            QMetaObject::invokeMethod(popup, "close");
            QTRY_VERIFY(!popup->property("visible").toBool());
        }
        QMetaObject::invokeMethod(window, "forwardMessage", Q_ARG(QString, QStringLiteral("SERVICE")),
                                  Q_ARG(QVariant, service));
    }

    // Conversation mode with a transcript, small and large, in both themes.
    void conversation_data()
    {
        QTest::addColumn<bool>("light");
        QTest::addColumn<QSize>("size");
        QTest::newRow("light-small") << true << QSize(360, 640);
        QTest::newRow("dark-small") << false << QSize(360, 640);
        QTest::newRow("light-large") << true << QSize(1024, 768);
        QTest::newRow("dark-large") << false << QSize(1024, 768);
    }

    void conversation()
    {
        QFETCH(bool, light);
        QFETCH(QSize, size);
        const QSize before = window->size();
        window->resize(size);
        window->setProperty("isLight", light);
        window->setProperty("conversation", true);
        window->setProperty("transcriptModel", sampleExchanges());
        const QString suffix = size.width() > 400 ? QStringLiteral("-large") : QStringLiteral("-small");
        check(QStringLiteral("conversation") + suffix, light);
        for (const QString &name : {QStringLiteral("Transcript"), QStringLiteral("Speakers")}) {
            showPanel(name, QStringLiteral("conversation-") + name + suffix, light);
            if (QTest::currentTestFailed())
                return;
        }
        window->setProperty("conversation", false);
        window->setProperty("transcriptModel", QVariantList());
        window->resize(before);
    }

    // The desktop settings with the hold key on and a problem to tell,
    // scrolled into view, in both themes.
    void desktopSettings_data()
    {
        QTest::addColumn<bool>("light");
        QTest::newRow("light") << true;
        QTest::newRow("dark") << false;
    }

    void desktopSettings()
    {
        QFETCH(bool, light);
        window->setProperty("isLight", light);
        window->setProperty("holdKeyOn", true);
        // The key is bound once the window has applied the setting; the
        // problem is told after that.
        QTRY_VERIFY(window->property("holdKeyStatus").toString() != u"off");
        QMetaObject::invokeMethod(window, "forwardMessage", Q_ARG(QString, QStringLiteral("HOLDKEYSTATUS")),
                                  Q_ARG(QVariant, QStringLiteral("taken")));
        QObject *options = openPanel(QStringLiteral("Options"));
        QVERIFY(options);
        auto *flick = window->findChild<QQuickItem *>(QStringLiteral("optionsFlick"));
        auto *problem = window->findChild<QQuickItem *>(QStringLiteral("holdKeyProblem"));
        QVERIFY(flick && problem);
        QVERIFY(problem->isVisible());
        flick->setProperty("contentY", problem->mapToItem(flick->childItems().constFirst(), QPointF()).y() -
                                           flick->height() / 3);
        check(QStringLiteral("desktop-Options"), light);
        closePanel(options);
        flick->setProperty("contentY", 0);
        window->setProperty("holdKeyOn", false);
        QTRY_COMPARE(window->property("holdKeyStatus").toString(), QStringLiteral("off"));
    }

private:
    // Opens a panel and waits until it is shown; nullptr when there is none.
    QObject *openPanel(const QString &name)
    {
        QVariant panel;
        QMetaObject::invokeMethod(window, "panelFor", Q_RETURN_ARG(QVariant, panel), Q_ARG(QString, name),
                                  Q_ARG(QVariant, QVariant::fromValue(window)));
        QObject *popup = panel.value<QObject *>();
        if (!popup)
            return nullptr;
        QMetaObject::invokeMethod(popup, "open");
        if (!QTest::qWaitFor([popup] {
                return popup->property("opened").toBool() || popup->property("position").toReal() == 1.0;
            }))
            return nullptr;
        return popup;
    }

    void closePanel(QObject *popup)
    {
        QMetaObject::invokeMethod(popup, "close");
        QTRY_VERIFY(!popup->property("visible").toBool());
    }

    // Opens a panel, checks and shoots it under the given name, closes it.
    void showPanel(const QString &name, const QString &shot, bool light)
    {
        QObject *popup = openPanel(name);
        QVERIFY2(popup, qPrintable(name));
        check(shot, light);
        closePanel(popup);
    }

    void check(const QString &name, bool light)
    {
        QTest::qWait(50);
        QStringList cutOff;
        collectCutOff(window->contentItem()->parentItem(), QRectF(0, 0, window->width(), window->height()),
                      cutOff);
        if (!outDir.isEmpty()) {
            const QImage shot = window->grabWindow();
            shot.save(
                QStringLiteral("%1/%2-%3-%4.png")
                    .arg(outDir, language, light ? QStringLiteral("light") : QStringLiteral("dark"), name));
        }
        QVERIFY2(cutOff.isEmpty(),
                 qPrintable(name + QStringLiteral(": ") + cutOff.join(QStringLiteral("; "))));
    }

    QTemporaryDir settingsDir;
    QQmlApplicationEngine engine;
    QQuickWindow *window = nullptr;
    QString language;
    QString outDir;
};

QTEST_MAIN(ScreensTest)
#include "tst_screens.moc"
