// The hold key through the desktop portal, over a real D-Bus: a private
// session bus of the test's own, with a scripted portal on it.
#include "fakeportal.h"
#include "portalholdkey.h"
#include "privatebus.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QKeyCombination ctrlAltSpace(Qt::ControlModifier | Qt::AltModifier, Qt::Key_Space);
const QString shortcut = QString::fromLatin1(PortalHoldKey::shortcutId);

} // namespace

class PortalHoldKeyTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_runtime.isValid());
        QString error;
        QVERIFY2(m_bus.start(m_runtime.path(), QProcessEnvironment::systemEnvironment(), &error),
                 qPrintable(error));
        QVERIFY(QDBusConnection::sessionBus().isConnected());
    }

    void triggersInThePortalsNotation_data()
    {
        QTest::addColumn<QKeyCombination>("key");
        QTest::addColumn<QString>("trigger");
        QTest::newRow("the default") << ctrlAltSpace << u"CTRL+ALT+space"_s;
        QTest::newRow("a letter") << QKeyCombination(Qt::ControlModifier, Qt::Key_A) << u"CTRL+a"_s;
        QTest::newRow("logo, shift, a function key")
            << QKeyCombination(Qt::MetaModifier | Qt::ShiftModifier, Qt::Key_F9) << u"SHIFT+LOGO+F9"_s;
        QTest::newRow("punctuation") << QKeyCombination(Qt::AltModifier, Qt::Key_Comma) << u"ALT+comma"_s;
        QTest::newRow("a named key") << QKeyCombination(Qt::Key_PageDown) << u"Next"_s;
        QTest::newRow("beyond ASCII")
            << QKeyCombination(Qt::ControlModifier, Qt::Key_Adiaeresis) << u"CTRL+U00E4"_s;
    }

    void triggersInThePortalsNotation()
    {
        QFETCH(QKeyCombination, key);
        QFETCH(QString, trigger);
        QCOMPARE(PortalHoldKey::triggerOf(key), trigger);
    }

    void withoutAPortalKeysAreUnavailable()
    {
        PortalHoldKey key;
        key.bind(ctrlAltSpace);
        QTRY_COMPARE(key.status(), HoldKey::Status::Unavailable);
    }

    void aPortalWithoutGlobalShortcutsIsUnavailable_data()
    {
        QTest::addColumn<bool>("hasShortcuts");
        QTest::addColumn<uint>("version");
        QTest::newRow("no such interface") << false << 1U;
        QTest::newRow("version 0") << true << 0U;
    }

    void aPortalWithoutGlobalShortcutsIsUnavailable()
    {
        QFETCH(bool, hasShortcuts);
        QFETCH(uint, version);
        FakePortal portal(m_bus.address(), {.hasShortcuts = hasShortcuts, .version = version});
        QVERIFY(portal.start());
        PortalHoldKey key;
        key.bind(ctrlAltSpace);
        QTRY_COMPARE(key.status(), HoldKey::Status::Unavailable);
        QVERIFY(portal.sessions.isEmpty());
    }

    void aBoundShortcutIsHeldWhileActivated()
    {
        FakePortal portal(m_bus.address());
        QVERIFY(portal.start());
        PortalHoldKey key;
        QSignalSpy pressed(&key, &HoldKey::pressed);
        QSignalSpy released(&key, &HoldKey::released);
        key.bind(ctrlAltSpace);
        QTRY_COMPARE(key.status(), HoldKey::Status::Bound);

        QCOMPARE(portal.sessions.size(), 1);
        const QString session = portal.sessions.constFirst();
        QVERIFY(!portal.sessionOptions.value(u"handle_token"_s).toString().isEmpty());
        QVERIFY(!portal.sessionOptions.value(u"session_handle_token"_s).toString().isEmpty());
        QCOMPARE(portal.boundSession, session);
        QCOMPARE(portal.boundShortcuts.keys(), QStringList{shortcut});
        QCOMPARE(portal.boundShortcuts.value(shortcut).value(u"preferred_trigger"_s).toString(),
                 u"CTRL+ALT+space"_s);
        QVERIFY(!portal.boundShortcuts.value(shortcut).value(u"description"_s).toString().isEmpty());

        // Signals of other sessions and shortcuts are not ours.
        portal.activate(session + u"x"_s, shortcut);
        portal.activate(session, u"other"_s);
        QVERIFY(syncWithPortal());
        QVERIFY(!key.isHeld());
        portal.activate(session, shortcut);
        QTRY_COMPARE(pressed.size(), 1);
        portal.activate(session, shortcut); // still held: nothing new
        portal.deactivate(session, u"other"_s);
        portal.deactivate(session + u"x"_s, shortcut);
        QVERIFY(syncWithPortal());
        QVERIFY(key.isHeld());
        portal.deactivate(session, shortcut);
        QTRY_COMPARE(released.size(), 1);
        QCOMPARE(pressed.size(), 1);
        QVERIFY(portal.closedSessions.isEmpty());
    }

    void unbindingClosesTheSessionAndReleases()
    {
        FakePortal portal(m_bus.address());
        QVERIFY(portal.start());
        PortalHoldKey key;
        QSignalSpy pressed(&key, &HoldKey::pressed);
        QSignalSpy released(&key, &HoldKey::released);
        key.bind(ctrlAltSpace);
        QTRY_COMPARE(key.status(), HoldKey::Status::Bound);
        portal.activate(portal.sessions.constFirst(), shortcut);
        QTRY_COMPARE(pressed.size(), 1);

        key.unbind();
        QCOMPARE(released.size(), 1);
        QCOMPARE(key.status(), HoldKey::Status::Off);
        QTRY_COMPARE(portal.closedSessions, portal.sessions);
    }

    void bindingAnotherKeyStartsAFreshSession()
    {
        FakePortal portal(m_bus.address());
        QVERIFY(portal.start());
        PortalHoldKey key;
        key.bind(ctrlAltSpace);
        QTRY_COMPARE(key.status(), HoldKey::Status::Bound);
        key.bind(QKeyCombination(Qt::Key_F9));
        QTRY_COMPARE(key.status(), HoldKey::Status::Bound);
        QCOMPARE(portal.sessions.size(), 2);
        QTRY_COMPARE(portal.closedSessions, QStringList{portal.sessions.constFirst()});
        QCOMPARE(portal.boundSession, portal.sessions.last());
        QCOMPARE(portal.boundShortcuts.value(shortcut).value(u"preferred_trigger"_s).toString(), u"F9"_s);
    }

    void aSessionThePortalClosesReleases()
    {
        FakePortal portal(m_bus.address());
        QVERIFY(portal.start());
        PortalHoldKey key;
        QSignalSpy released(&key, &HoldKey::released);
        key.bind(ctrlAltSpace);
        QTRY_COMPARE(key.status(), HoldKey::Status::Bound);
        const QString session = portal.sessions.constFirst();
        portal.activate(session, shortcut);
        QTRY_VERIFY(key.isHeld());
        portal.closeSession(session);
        QTRY_COMPARE(released.size(), 1);
        QCOMPARE(key.status(), HoldKey::Status::Refused);
        // The session is gone: an activation of it no longer counts.
        portal.activate(session, shortcut);
        QVERIFY(syncWithPortal());
        QVERIFY(!key.isHeld());
    }

    void aRefusalIsRefused_data()
    {
        QTest::addColumn<uint>("sessionResponse");
        QTest::addColumn<uint>("bindResponse");
        QTest::newRow("no session: cancelled") << 1U << 0U;
        QTest::newRow("binding: cancelled by the user") << 0U << 1U;
        QTest::newRow("binding: other failure") << 0U << 2U;
    }

    void aRefusalIsRefused()
    {
        QFETCH(uint, sessionResponse);
        QFETCH(uint, bindResponse);
        FakePortal portal(m_bus.address(),
                          {.sessionResponse = sessionResponse, .bindResponse = bindResponse});
        QVERIFY(portal.start());
        PortalHoldKey key;
        key.bind(ctrlAltSpace);
        QTRY_COMPARE(key.status(), HoldKey::Status::Refused);
        QCOMPARE(portal.boundShortcuts.isEmpty(), sessionResponse != 0);
    }

    void aPortalThatNeverAnswersIsGivenUp()
    {
        FakePortal portal(m_bus.address(), {.answers = false});
        QVERIFY(portal.start());
        PortalHoldKey key(QDBusConnection::sessionBus(), {.callMs = 2000, .sessionMs = 300, .bindMs = 300});
        key.bind(ctrlAltSpace);
        QTRY_COMPARE(key.status(), HoldKey::Status::Unavailable);
        // The request it waited for is closed, so that no dialog stays up.
        QTRY_COMPARE(portal.closedRequests.size(), 1);
        QVERIFY(portal.closedRequests.constFirst().startsWith(u"/org/freedesktop/portal/desktop/request/"_s));
    }

private:
    // Returns once the hold key has handled every signal the portal sent
    // before: the portal's reply to a call on the same connection comes after
    // them.
    static bool syncWithPortal()
    {
        QDBusMessage get = QDBusMessage::createMethodCall(u"org.freedesktop.portal.Desktop"_s,
                                                          u"/org/freedesktop/portal/desktop"_s,
                                                          u"org.freedesktop.DBus.Properties"_s, u"Get"_s);
        get.setArguments({u"org.freedesktop.portal.GlobalShortcuts"_s, u"version"_s});
        const QDBusMessage reply = QDBusConnection::sessionBus().call(get, QDBus::BlockWithGui, syncMs);
        QCoreApplication::processEvents();
        return reply.type() == QDBusMessage::ReplyMessage;
    }

    static constexpr int syncMs = 5000;
    QTemporaryDir m_runtime;
    PrivateBus m_bus;
};

QTEST_GUILESS_MAIN(PortalHoldKeyTest)
#include "tst_portalholdkey.moc"
