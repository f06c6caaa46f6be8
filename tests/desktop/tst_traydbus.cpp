// The tray icon as a desktop sees it: a StatusNotifierWatcher of the test's
// own on a private session bus receives Tolka's item, then reads its tooltip
// and clicks its menu over D-Bus, as a panel would.
#include "privatebus.h"
#include "tray.h"

#include <QApplication>
#include <QDateTime>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr auto watcherService = "org.kde.StatusNotifierWatcher";
constexpr auto itemPath = "/StatusNotifierItem";
constexpr auto itemInterface = "org.kde.StatusNotifierItem";
constexpr auto menuInterface = "com.canonical.dbusmenu";
constexpr int callMs = 5000;

// Tolka's own item is served on this thread: every call to it must let the
// event loop run (BlockWithGui), or the call would wait for itself.

// The part of the watcher a tray item talks to.
class Watcher : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)
public:
    [[nodiscard]] bool hostRegistered() const { return true; }
    [[nodiscard]] int protocolVersion() const { return 0; }
    [[nodiscard]] QStringList items() const { return registered; }
    QStringList registered;

public slots:
    Q_SCRIPTABLE void RegisterStatusNotifierItem(const QString &service) { registered.append(service); }
    Q_SCRIPTABLE void RegisterStatusNotifierHost(const QString &) {}
};

struct MenuEntry
{
    int id = 0;
    QString label;
    QString toggleState;
};

// One level of a dbusmenu layout: (ia{sv}av).
MenuEntry readEntry(const QDBusArgument &argument, QList<MenuEntry> *children)
{
    MenuEntry entry;
    QVariantMap properties;
    argument.beginStructure();
    argument >> entry.id >> properties;
    argument.beginArray();
    while (!argument.atEnd()) {
        QDBusVariant child;
        argument >> child;
        if (children)
            children->append(readEntry(child.variant().value<QDBusArgument>(), nullptr));
    }
    argument.endArray();
    argument.endStructure();
    entry.label = properties.value(QStringLiteral("label")).toString().remove(QLatin1Char('_'));
    entry.toggleState = properties.value(QStringLiteral("toggle-state")).toString();
    return entry;
}

} // namespace

class TrayDBusTest : public QObject
{
    Q_OBJECT
public:
    explicit TrayDBusTest(QDBusConnection bus) : m_bus(std::move(bus)) {}

private slots:
    void initTestCase()
    {
        QVERIFY(m_bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), &m_watcher,
                                     QDBusConnection::ExportScriptableSlots |
                                         QDBusConnection::ExportAllProperties));
        QVERIFY(tray().available());

        // A window with the function the native side delivers messages to.
        m_engine.loadData(R"(
            import QtQuick
            Window {
                title: "Tolka"
                property var messages: []
                function forwardMessage(tag: string, value: var): void { messages.push(tag + "=" + value); }
            })");
        QVERIFY(!m_engine.rootObjects().isEmpty());
        m_window = qobject_cast<QQuickWindow *>(m_engine.rootObjects().constFirst());
        QVERIFY(m_window);
        const QVariantMap texts{{QStringLiteral("show"), QStringLiteral("Show")},
                                {QStringLiteral("hide"), QStringLiteral("Hide")},
                                {QStringLiteral("conversation"), QStringLiteral("Conversation")},
                                {QStringLiteral("quit"), QStringLiteral("Quit")},
                                {QStringLiteral("recording"), QStringLiteral("Recording")}};
        QVERIFY(tray().show(m_window, texts));
        QVERIFY(tray().shown());
        QTRY_COMPARE_WITH_TIMEOUT(m_watcher.registered.size(), 1, callMs);
        m_item = m_watcher.registered.constFirst();
    }

    // The tooltip names the window and what Tolka is doing.
    void tooltipFollowsTheActivity()
    {
        QTRY_VERIFY_WITH_TIMEOUT(toolTip().contains(QStringLiteral("Tolka")), callMs);
        QVERIFY(!toolTip().contains(QStringLiteral("Recording")));
        tray().setActivity(QStringLiteral("recording"));
        QTRY_VERIFY_WITH_TIMEOUT(toolTip().contains(QStringLiteral("Tolka · Recording")), callMs);
        tray().setActivity(QStringLiteral("idle"));
        QTRY_VERIFY_WITH_TIMEOUT(!toolTip().contains(QStringLiteral("Recording")), callMs);
    }

    // A click on the icon shows the window; the menu's first entry then
    // offers to hide it, and hides it.
    void clickAndMenuShowAndHideTheWindow()
    {
        QVERIFY(!m_window->isVisible());
        QDBusMessage activate = QDBusMessage::createMethodCall(
            m_item, QLatin1String(itemPath), QLatin1String(itemInterface), QStringLiteral("Activate"));
        activate << 0 << 0;
        QCOMPARE(m_bus.call(activate, QDBus::BlockWithGui, callMs).type(), QDBusMessage::ReplyMessage);
        QTRY_VERIFY_WITH_TIMEOUT(m_window->isVisible(), callMs);
        QTRY_VERIFY_WITH_TIMEOUT(hasEntry(QStringLiteral("Hide")), callMs);
        click(QStringLiteral("Hide"));
        QTRY_VERIFY_WITH_TIMEOUT(!m_window->isVisible(), callMs);
        QTRY_VERIFY_WITH_TIMEOUT(hasEntry(QStringLiteral("Show")), callMs);
    }

    // The switch tells the window; the window's own change shows as a check.
    void conversationSwitchReachesTheWindow()
    {
        click(QStringLiteral("Conversation"));
        QTRY_VERIFY_WITH_TIMEOUT(
            m_window->property("messages").toStringList().contains(QStringLiteral("TRAYCONVERSATION=true")),
            callMs);
        tray().setConversation(false);
        QTRY_COMPARE_WITH_TIMEOUT(entry(QStringLiteral("Conversation")).toggleState, QStringLiteral("0"),
                                  callMs);
        tray().setConversation(true);
        QTRY_COMPARE_WITH_TIMEOUT(entry(QStringLiteral("Conversation")).toggleState, QStringLiteral("1"),
                                  callMs);
    }

    void quitFromTheMenu()
    {
        // The menu's call returns once the entry's action has run; a missing
        // message fails the test.
        QTest::ignoreMessage(QtInfoMsg, "quit from the tray");
        click(QStringLiteral("Quit"));
    }

    void cleanupTestCase() { tray().remove(); }

private:
    [[nodiscard]] static ::tray tray() { return {}; }

    QVariant property(const QString &interface, const QString &path, const QString &name)
    {
        QDBusMessage get = QDBusMessage::createMethodCall(
            m_item, path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
        get << interface << name;
        const QDBusMessage reply = m_bus.call(get, QDBus::BlockWithGui, callMs);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            return {};
        return reply.arguments().constFirst().value<QDBusVariant>().variant();
    }

    // The tooltip's title and description: (sa(iiay)ss).
    QString toolTip()
    {
        const QVariant value =
            property(QLatin1String(itemInterface), QLatin1String(itemPath), QStringLiteral("ToolTip"));
        const auto argument = value.value<QDBusArgument>();
        if (argument.currentType() != QDBusArgument::StructureType)
            return {};
        QString icon, title, description;
        argument.beginStructure();
        argument >> icon;
        argument.beginArray();
        while (!argument.atEnd()) {
            int width = 0, height = 0;
            QByteArray pixels;
            argument.beginStructure();
            argument >> width >> height >> pixels;
            argument.endStructure();
        }
        argument.endArray();
        argument >> title >> description;
        argument.endStructure();
        return title + QLatin1Char('\n') + description;
    }

    QString menuPath()
    {
        return property(QLatin1String(itemInterface), QLatin1String(itemPath), QStringLiteral("Menu"))
            .value<QDBusObjectPath>()
            .path();
    }

    QList<MenuEntry> entries()
    {
        QDBusMessage layout = QDBusMessage::createMethodCall(m_item, menuPath(), QLatin1String(menuInterface),
                                                             QStringLiteral("GetLayout"));
        layout << 0 << -1 << QStringList();
        const QDBusMessage reply = m_bus.call(layout, QDBus::BlockWithGui, callMs);
        QList<MenuEntry> children;
        if (reply.type() == QDBusMessage::ReplyMessage && reply.arguments().size() == 2)
            readEntry(reply.arguments().at(1).value<QDBusArgument>(), &children);
        return children;
    }

    MenuEntry entry(const QString &label)
    {
        for (const MenuEntry &entry : entries())
            if (entry.label == label)
                return entry;
        return {};
    }

    bool hasEntry(const QString &label) { return entry(label).id != 0; }

    void click(const QString &label)
    {
        const MenuEntry found = entry(label);
        QVERIFY2(found.id != 0, qPrintable(QStringLiteral("no menu entry ") + label));
        QDBusMessage event = QDBusMessage::createMethodCall(m_item, menuPath(), QLatin1String(menuInterface),
                                                            QStringLiteral("Event"));
        event << found.id << QStringLiteral("clicked") << QVariant::fromValue(QDBusVariant(0))
              << uint(QDateTime::currentSecsSinceEpoch());
        QCOMPARE(m_bus.call(event, QDBus::BlockWithGui, callMs).type(), QDBusMessage::ReplyMessage);
    }

    QDBusConnection m_bus;
    Watcher m_watcher;
    QQmlApplicationEngine m_engine;
    QQuickWindow *m_window = nullptr;
    QString m_item;
};

int main(int argc, char *argv[])
{
    // The bus must be there before the application asks the desktop for a tray.
    QTemporaryDir runtime;
    PrivateBus bus;
    QString error;
    if (!runtime.isValid() || !bus.start(runtime.path(), QProcessEnvironment::systemEnvironment(), &error)) {
        qCritical("no private session bus: %s", qPrintable(error));
        return 1;
    }
    QDBusConnection watcherBus =
        QDBusConnection::connectToBus(bus.address(), QStringLiteral("tolka-test-watcher"));
    if (!watcherBus.isConnected() || !watcherBus.registerService(QLatin1String(watcherService))) {
        qCritical("cannot own %s on the private bus", watcherService);
        return 1;
    }
    QApplication app(argc, argv);
    TrayDBusTest test(watcherBus);
    return QTest::qExec(&test, argc, argv);
}

#include "tst_traydbus.moc"
