// The X11 hold key on a real X server (tests/with-xvfb): another client holds
// the focus, xdotool presses the keys through XTEST, and the server's own
// auto-repeat repeats a held key.
#include "focusedclient.h"
#include "holdkeyfactory.h"
#include "x11holdkey.h"

#include <QAbstractNativeEventFilter>
#include <QGuiApplication>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

#include <xcb/xcb.h>

#include <cstdlib>

using namespace Qt::StringLiterals;

namespace {

constexpr std::uint32_t spaceSymbol = 0x20;
constexpr std::uint32_t controlSymbol = 0xffe3;
constexpr std::uint8_t responseTypeMask = 0x7f;
constexpr int toolMs = 10000;
// Enough repeats to be sure they came, few enough to come soon.
constexpr int repeatsWanted = 3;
constexpr int repeatWaitMs = 10000;

const QKeyCombination ctrlAltSpace(Qt::ControlModifier | Qt::AltModifier, Qt::Key_Space);

// Qt's side of the server: sees the key events of the grab before the hold
// key does (filters installed last run first), and tells when every event
// the server sent before a marker has been handled.
class QtSide : public QAbstractNativeEventFilter
{
public:
    bool open()
    {
        auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
        m_connection = x11 ? x11->connection() : nullptr;
        if (!m_connection)
            return false;
        const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        m_root = screen->root;
        m_window = xcb_generate_id(m_connection);
        xcb_create_window(m_connection, 0, m_window, m_root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                          XCB_COPY_FROM_PARENT, 0, nullptr);
        const char name[] = "TOLKA_TEST_MARKER";
        auto *atom = xcb_intern_atom_reply(m_connection,
                                           xcb_intern_atom(m_connection, 0, sizeof(name) - 1, name), nullptr);
        if (!atom)
            return false;
        m_marker = atom->atom;
        std::free(atom);
        QCoreApplication::instance()->installNativeEventFilter(this);
        return true;
    }

    // Counts the grab's events of the key from now on.
    void watch(std::uint8_t keycode)
    {
        m_keycode = keycode;
        presses = 0;
        releases = 0;
        lastState = 0;
        QCoreApplication::instance()->removeNativeEventFilter(this);
        QCoreApplication::instance()->installNativeEventFilter(this);
    }

    // Waits until every event the server sent before now has been filtered.
    bool sync()
    {
        xcb_client_message_event_t message{};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = m_window;
        message.type = m_marker;
        message.data.data32[0] = ++m_sent;
        xcb_send_event(m_connection, 0, m_window, XCB_EVENT_MASK_NO_EVENT,
                       reinterpret_cast<const char *>(&message));
        xcb_flush(m_connection);
        return QTest::qWaitFor([this] { return m_seen == m_sent; }, toolMs);
    }

    int presses = 0;
    int releases = 0;
    std::uint16_t lastState = 0;

private:
    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *) override
    {
        if (eventType != "xcb_generic_event_t")
            return false;
        const auto *event = static_cast<const xcb_generic_event_t *>(message);
        const std::uint8_t type = event->response_type & responseTypeMask;
        if (type == XCB_CLIENT_MESSAGE) {
            const auto *client = reinterpret_cast<const xcb_client_message_event_t *>(event);
            if (client->window != m_window || client->type != m_marker)
                return false;
            m_seen = client->data.data32[0];
            return true;
        }
        if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE)
            return false;
        const auto *key = reinterpret_cast<const xcb_key_press_event_t *>(event);
        if (key->event != m_root || key->detail != m_keycode)
            return false;
        if (type == XCB_KEY_PRESS) {
            ++presses;
            lastState = key->state;
        } else {
            ++releases;
        }
        return false;
    }

    xcb_connection_t *m_connection = nullptr;
    std::uint32_t m_root = 0;
    std::uint32_t m_window = 0;
    std::uint32_t m_marker = 0;
    std::uint32_t m_sent = 0;
    std::uint32_t m_seen = 0;
    std::uint8_t m_keycode = 0;
};

bool run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(toolMs) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        qWarning().noquote() << program << arguments.join(u' ')
                             << "failed:" << process.readAllStandardError();
        return false;
    }
    return true;
}

bool xdo(const QString &action, const QString &keys)
{
    return run(u"xdotool"_s, {action, keys});
}

} // namespace

class X11HoldKeyTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (QGuiApplication::platformName() != "xcb"_L1)
            QSKIP("needs an X server: run under tests/with-xvfb");
        QVERIFY2(!QStandardPaths::findExecutable(u"xdotool"_s).isEmpty(), "xdotool is missing");
        QVERIFY(m_client.open());
        QVERIFY(m_qt.open());
        m_space = m_client.keycodeOf(spaceSymbol);
        m_control = m_client.keycodeOf(controlSymbol);
        QVERIFY(m_space != 0 && m_control != 0);
        // A short delay before the server repeats a held key.
        QVERIFY(run(u"xset"_s, {u"r"_s, u"rate"_s, u"200"_s, u"40"_s}));
    }

    void cleanup()
    {
        // Nothing stays down for the next test, whatever failed, and the
        // events of this one are all handled before the next begins.
        QVERIFY(xdo(u"keyup"_s, u"ctrl+alt+space"_s));
        QVERIFY(m_qt.sync());
        m_client.collect();
        m_client.forget();
    }

    void theFactoryMakesTheX11Key() { QCOMPARE(makeHoldKey()->backend(), u"x11"_s); }

    void aHeldKeyIsOnePressAndOneRelease_data()
    {
        QTest::addColumn<X11HoldKey::Repeats>("repeats");
        // Detectable first: the pairs row then also shows that the flag was
        // put back when the first key was unbound.
        QTest::newRow("detectable auto-repeat") << X11HoldKey::Repeats::Detectable;
        QTest::newRow("repeats in pairs") << X11HoldKey::Repeats::Pairs;
    }

    void aHeldKeyIsOnePressAndOneRelease()
    {
        QFETCH(X11HoldKey::Repeats, repeats);
        X11HoldKey key(repeats);
        QSignalSpy pressed(&key, &HoldKey::pressed);
        QSignalSpy released(&key, &HoldKey::released);
        key.bind(ctrlAltSpace);
        QCOMPARE(key.status(), HoldKey::Status::Bound);
        m_qt.watch(m_space);

        QVERIFY(xdo(u"keydown"_s, u"ctrl+alt+space"_s));
        QTRY_VERIFY_WITH_TIMEOUT(m_qt.presses >= repeatsWanted, repeatWaitMs);
        QVERIFY(m_qt.sync());
        if (repeats == X11HoldKey::Repeats::Detectable)
            QCOMPARE(m_qt.releases, 0);
        else
            QVERIFY(m_qt.releases >= repeatsWanted - 1);
        QTest::qWait(2 * X11HoldKey::repeatPairMs); // a pair's release would have ended the hold by now
        QCOMPARE(pressed.size(), 1);
        QCOMPARE(released.size(), 0);

        QVERIFY(xdo(u"keyup"_s, u"ctrl+alt+space"_s));
        QTRY_COMPARE(released.size(), 1);
        QVERIFY(m_qt.sync());
        QCOMPARE(pressed.size(), 1);
        QCOMPARE(released.size(), 1);

        // The focused client saw the modifiers but not the grabbed key.
        m_client.collect();
        QCOMPARE(m_client.presses(m_space), 0);
        QVERIFY(m_client.presses(m_control) >= 1);
    }

    void lockModifiersDoNotMatter_data()
    {
        QTest::addColumn<QString>("lock");
        QTest::newRow("Num Lock") << u"Num_Lock"_s;
        QTest::newRow("Caps Lock") << u"Caps_Lock"_s;
    }

    void lockModifiersDoNotMatter()
    {
        QFETCH(QString, lock);
        X11HoldKey key;
        QSignalSpy pressed(&key, &HoldKey::pressed);
        QSignalSpy released(&key, &HoldKey::released);
        key.bind(ctrlAltSpace);
        QCOMPARE(key.status(), HoldKey::Status::Bound);
        m_qt.watch(m_space);

        QVERIFY(xdo(u"key"_s, lock));
        const auto unlock = qScopeGuard([&] { QVERIFY(xdo(u"key"_s, lock)); });
        QVERIFY(xdo(u"keydown"_s, u"ctrl+alt+space"_s));
        QTRY_COMPARE(pressed.size(), 1);
        QVERIFY(xdo(u"keyup"_s, u"ctrl+alt+space"_s));
        QTRY_COMPARE(released.size(), 1);
        // The press came with a modifier besides Ctrl and Alt: the lock.
        QVERIFY((m_qt.lastState & ~std::uint16_t(XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1)) != 0);
    }

    void aCombinationAnotherClientHoldsIsTaken()
    {
        const std::uint16_t ctrlAlt = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1;
        QVERIFY(m_client.grab(m_space, ctrlAlt));
        auto ungrab = qScopeGuard([&] { m_client.ungrab(m_space, ctrlAlt); });
        X11HoldKey key;
        key.bind(ctrlAltSpace);
        QCOMPARE(key.status(), HoldKey::Status::Taken);

        // The lock variants it could grab are let go again: with Num Lock on,
        // which the other client's grab does not cover, the key reaches the
        // focused client.
        QVERIFY(xdo(u"key"_s, u"Num_Lock"_s));
        {
            const auto unlock = qScopeGuard([] { QVERIFY(xdo(u"key"_s, u"Num_Lock"_s)); });
            QVERIFY(xdo(u"keydown"_s, u"ctrl+alt+space"_s));
            QVERIFY(xdo(u"keyup"_s, u"ctrl+alt+space"_s));
        }
        m_client.collect();
        QCOMPARE(m_client.presses(m_space), 1);

        // Once the other program lets go, the combination is ours.
        ungrab.dismiss();
        m_client.ungrab(m_space, ctrlAlt);
        key.bind(ctrlAltSpace);
        QCOMPARE(key.status(), HoldKey::Status::Bound);
    }

    void unbindingWhileHeldReleasesOnceAndGivesTheKeyBack()
    {
        X11HoldKey key;
        QSignalSpy pressed(&key, &HoldKey::pressed);
        QSignalSpy released(&key, &HoldKey::released);
        key.bind(ctrlAltSpace);
        m_qt.watch(m_space);
        QVERIFY(xdo(u"keydown"_s, u"ctrl+alt+space"_s));
        QTRY_COMPARE(pressed.size(), 1);
        key.unbind();
        QCOMPARE(released.size(), 1);
        QCOMPARE(key.status(), HoldKey::Status::Off);
        QVERIFY(xdo(u"keyup"_s, u"ctrl+alt+space"_s));
        QVERIFY(m_qt.sync());
        QCOMPARE(released.size(), 1);

        m_client.collect();
        m_client.forget();
        QVERIFY(xdo(u"keydown"_s, u"ctrl+alt+space"_s));
        QVERIFY(xdo(u"keyup"_s, u"ctrl+alt+space"_s));
        m_client.collect();
        QCOMPARE(m_client.presses(m_space), 1);
        QCOMPARE(pressed.size(), 1);
    }

    void aDeletedKeyLetsGo()
    {
        {
            X11HoldKey key;
            key.bind(ctrlAltSpace);
            QCOMPARE(key.status(), HoldKey::Status::Bound);
        }
        QVERIFY(xdo(u"keydown"_s, u"ctrl+alt+space"_s));
        QVERIFY(xdo(u"keyup"_s, u"ctrl+alt+space"_s));
        m_client.collect();
        QCOMPARE(m_client.presses(m_space), 1);
    }

private:
    FocusedClient m_client;
    QtSide m_qt;
    std::uint8_t m_space = 0;
    std::uint8_t m_control = 0;
};

QTEST_MAIN(X11HoldKeyTest)
#include "tst_x11holdkey.moc"
