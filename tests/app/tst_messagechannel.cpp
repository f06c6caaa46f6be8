#include "messenger.h"

#include <QGuiApplication>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QTest>
#include <QThread>
#include <QWindow>

#include <QJsonValue>

#include <memory>
#include <thread>

using namespace Qt::StringLiterals;

// A window with the same forwardMessage signature as the main window, that
// records what it receives and on which thread.
static const char windowQml[] = R"(
import QtQuick
Window {
    property var tags: []
    property var values: []
    function forwardMessage(tag: string, value: var): void {
        tags.push(tag);
        values.push(value);
    }
}
)";

class MessageChannelTest : public QObject
{
    Q_OBJECT
private slots:
    void withoutWindowTheMessageIsDropped()
    {
        QVERIFY(QGuiApplication::topLevelWindows().isEmpty());
        messenger::instance()->forwardMessage(QStringLiteral("BUSY"), true);
        std::thread([] { messenger::instance()->forwardMessage(QStringLiteral("ISBIP"), true); }).join();
        QCoreApplication::processEvents();
    }

    void guiThreadMessageIsHandledWhenTheCallReturns()
    {
        QQmlEngine engine;
        std::unique_ptr<QObject> window = create(engine);
        messenger::instance()->forwardMessage(QStringLiteral("BUSY"), true);
        QCOMPARE(tags(window.get()), QStringList{QStringLiteral("BUSY")});
        QCOMPARE(window->property("values").toList().constFirst().toBool(), true);
    }

    void otherThreadMessagesArriveLaterInOrder()
    {
        QQmlEngine engine;
        std::unique_ptr<QObject> window = create(engine);
        std::thread sender([] {
            auto hub = messenger::instance();
            hub->forwardMessage(QStringLiteral("ISPLAYING"), true);
            hub->forwardMessage(QStringLiteral("ISPLAYING"), false);
            hub->forwardMessage(QStringLiteral("ISBIP"), true);
        });
        sender.join();
        // Nothing ran yet: the GUI thread has not returned to its event loop.
        QVERIFY(tags(window.get()).isEmpty());
        QTRY_COMPARE(tags(window.get()), (QStringList{QStringLiteral("ISPLAYING"),
                                                      QStringLiteral("ISPLAYING"), QStringLiteral("ISBIP")}));
        const QVariantList values = window->property("values").toList();
        QCOMPARE(values.at(0).toBool(), true);
        QCOMPARE(values.at(1).toBool(), false);
    }

    void aReplacedWindowIsFoundAgain()
    {
        QQmlEngine engine;
        {
            std::unique_ptr<QObject> first = create(engine);
            messenger::instance()->forwardMessage(QStringLiteral("BUSY"), false);
            QCOMPARE(tags(first.get()).size(), 1);
        }
        std::unique_ptr<QObject> second = create(engine);
        messenger::instance()->forwardMessage(QStringLiteral("TRAD"),
                                              QVariant::fromValue(QJsonValue(u"hola"_s)));
        QCOMPARE(tags(second.get()), QStringList{QStringLiteral("TRAD")});
        QCOMPARE(second->property("values").toList().constFirst().toString(), u"hola"_s);
    }

    void messageToDestroyedWindowIsDropped()
    {
        QQmlEngine engine;
        std::unique_ptr<QObject> window = create(engine);
        std::thread([] { messenger::instance()->forwardMessage(QStringLiteral("ISBIP"), true); }).join();
        window.reset();
        QCoreApplication::processEvents();
        messenger::instance()->forwardMessage(QStringLiteral("BUSY"), true);
        // Neither message reaches a window created afterwards.
        std::unique_ptr<QObject> next = create(engine);
        QCoreApplication::processEvents();
        QVERIFY(tags(next.get()).isEmpty());
    }

private:
    static std::unique_ptr<QObject> create(QQmlEngine &engine)
    {
        QQmlComponent component(&engine);
        component.setData(windowQml, QUrl::fromLocalFile(QStringLiteral("Recorder.qml")));
        std::unique_ptr<QObject> window(component.create());
        if (!window)
            qFatal("recording window not created: %s", qPrintable(component.errorString()));
        return window;
    }
    static QStringList tags(QObject *window) { return window->property("tags").toStringList(); }
};

QTEST_MAIN(MessageChannelTest)
#include "tst_messagechannel.moc"
