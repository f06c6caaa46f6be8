// The "hotkey" gadget: what it takes as a key, what it tells the window, and
// the hold key it makes where there are no global shortcuts.
#include "hotkey.h"
#include "scriptedholdkey.h"

#include <QGuiApplication>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// Stands in for the main window: records the messages it is sent as
// "TAG=value".
const char windowQml[] = R"(
import QtQuick
Window {
    property var messages: []
    function forwardMessage(tag: string, value: var): void {
        messages.push(tag + "=" + value);
    }
}
)";

} // namespace

class HotkeyTest : public QObject
{
    Q_OBJECT

private slots:
    // Runs first: nothing is injected yet, so the factory chooses, and the
    // offscreen platform has no global keys.
    void withoutGlobalKeysTheKeyIsUnavailable()
    {
        const hotkey gadget;
        QCOMPARE(gadget.backend(), u"none"_s);
        QCOMPARE(gadget.status(), u"off"_s);
        QVERIFY(gadget.setKey(gadget.defaultKey()));
        QCOMPARE(gadget.status(), u"unavailable"_s);
        gadget.disable();
        QCOMPARE(gadget.status(), u"off"_s);
    }

    void setKeyTakesOneCombination_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QKeyCombination>("bound");
        QTest::newRow("the default") << u"Ctrl+Alt+Space"_s << true
                                     << QKeyCombination(Qt::ControlModifier | Qt::AltModifier, Qt::Key_Space);
        QTest::newRow("any case, blanks around")
            << u"  ctrl+alt+space "_s << true
            << QKeyCombination(Qt::ControlModifier | Qt::AltModifier, Qt::Key_Space);
        QTest::newRow("a key alone") << u"F9"_s << true << QKeyCombination(Qt::Key_F9);
        QTest::newRow("meta and shift")
            << u"Meta+Shift+R"_s << true << QKeyCombination(Qt::MetaModifier | Qt::ShiftModifier, Qt::Key_R);
        QTest::newRow("two combinations") << u"Ctrl+A, Ctrl+B"_s << false << QKeyCombination();
        QTest::newRow("garbage") << u"garbage"_s << false << QKeyCombination();
        QTest::newRow("a modifier alone") << u"Ctrl"_s << false << QKeyCombination();
        QTest::newRow("a modifier and nothing") << u"Ctrl+"_s << false << QKeyCombination();
        QTest::newRow("a lock key") << u"Ctrl+CapsLock"_s << false << QKeyCombination();
    }

    void setKeyTakesOneCombination()
    {
        QFETCH(QString, text);
        QFETCH(bool, accepted);
        QFETCH(QKeyCombination, bound);
        inject();
        const hotkey gadget;
        QVERIFY(gadget.setKey(u"F2"_s));
        QCOMPARE(gadget.status(), u"bound"_s);
        const int ungrabsBefore = m_key->ungrabs;

        QCOMPARE(gadget.setKey(text), accepted);
        // The earlier key is let go either way.
        QVERIFY(m_key->ungrabs > ungrabsBefore);
        if (accepted) {
            QCOMPARE(gadget.status(), u"bound"_s);
            QCOMPARE(m_key->grabbed.size(), 2);
            QCOMPARE(m_key->grabbed.last(), bound);
        } else {
            QCOMPARE(gadget.status(), u"invalid"_s);
            QCOMPARE(m_key->grabbed.size(), 1);
        }
    }

    void anEmptyKeyTurnsItOff()
    {
        inject();
        const hotkey gadget;
        QVERIFY(gadget.setKey(u"Ctrl+Alt+Space"_s));
        QVERIFY(gadget.setKey(QString()));
        QCOMPARE(gadget.status(), u"off"_s);
        QCOMPARE(m_key->grabbed.size(), 1);
    }

    void whatTheDesktopRefusesIsTold()
    {
        inject();
        const hotkey gadget;
        m_key->bindStatus = HoldKey::Status::Taken;
        // Taken is the desktop's answer, not a malformed key.
        QVERIFY(gadget.setKey(u"Ctrl+Alt+Space"_s));
        QCOMPARE(gadget.status(), u"taken"_s);
        QCOMPARE(gadget.backend(), u"scripted"_s);
    }

    void theWindowHearsOfPressesReleasesAndStatus()
    {
        inject(); // before the window: the key it replaces says "off"
        QQmlEngine engine;
        QQmlComponent component(&engine);
        component.setData(windowQml, QUrl::fromLocalFile(u"Window.qml"_s));
        const std::unique_ptr<QObject> window(component.create());
        QVERIFY2(window, qPrintable(component.errorString()));

        const hotkey gadget;
        QVERIFY(gadget.setKey(u"Ctrl+Alt+Space"_s));
        m_key->press();
        m_key->press(); // a second press before the release is the same hold
        m_key->release();
        m_key->release();
        m_key->press();
        // The desktop takes the key away while it is held: released.
        m_key->changeStatus(HoldKey::Status::Refused);
        m_key->press(); // nothing is bound: a stray press
        m_key->release();
        QVERIFY(gadget.setKey(u"Ctrl+Alt+Space"_s));
        m_key->press();
        gadget.disable(); // unbound while held: released

        const QStringList expected{u"HOLDKEYSTATUS=bound"_s, u"HOLDKEYDOWN=true"_s,
                                   u"HOLDKEYUP=true"_s,      u"HOLDKEYDOWN=true"_s,
                                   u"HOLDKEYUP=true"_s,      u"HOLDKEYSTATUS=refused"_s,
                                   u"HOLDKEYSTATUS=bound"_s, u"HOLDKEYDOWN=true"_s,
                                   u"HOLDKEYUP=true"_s,      u"HOLDKEYSTATUS=off"_s};
        QCOMPARE(window->property("messages").toStringList(), expected);
    }

    void keyEventsAsText()
    {
        inject();
        const hotkey gadget;
        const int ctrlAlt = int(Qt::ControlModifier | Qt::AltModifier);
        QCOMPARE(gadget.keyText(Qt::Key_Space, ctrlAlt), u"Ctrl+Alt+Space"_s);
        QCOMPARE(gadget.keyText(Qt::Key_5, int(Qt::ControlModifier | Qt::KeypadModifier)), u"Ctrl+5"_s);
        QCOMPARE(gadget.keyText(Qt::Key_Alt, ctrlAlt), QString());
        QCOMPARE(gadget.keyText(Qt::Key_NumLock, 0), QString());
        // What keyText gives, setKey takes.
        QVERIFY(gadget.setKey(gadget.keyText(Qt::Key_F9, int(Qt::ShiftModifier))));
        QCOMPARE(m_key->grabbed.last(), QKeyCombination(Qt::ShiftModifier, Qt::Key_F9));
        QCOMPARE(gadget.shownText(u"garbage, more"_s), u"garbage, more"_s);
        QVERIFY(!gadget.shownText(u"Ctrl+Alt+Space"_s).isEmpty());
    }

private:
    // A fresh scripted hold key in place of the process-wide one.
    void inject()
    {
        auto scripted = std::make_unique<ScriptedHoldKey>();
        m_key = scripted.get();
        hotkey::useHoldKey(std::move(scripted));
    }

    ScriptedHoldKey *m_key = nullptr;
};

QTEST_MAIN(HotkeyTest)
#include "tst_hotkey.moc"
