import QtQuick
import QtTest

// The global hold-to-talk key, the tray icon and the window's place among
// the others, driven through the real main window with stand-ins for the
// native objects.
TestCase {
    id: testCase

    name: "Desktop"
    when: windowShown

    property var wind: null
    property MainFixture fixture

    function init() {
        fixture = Qt.createQmlObject("MainFixture {}", testCase);
        wind = fixture.create();
        wind.hasBip = false;
        wind.onCloudSpeech = true;
        wind.conversation = false;
        wind.holdKeyOn = true;
        wind.holdKey = "Ctrl+Alt+Space";
        wind.holdKeyRaises = false;
        wind.closeToTray = false;
        wind.alwaysOnTop = false;
        item("clangsource").currentLang = "en-US";
        item("clangdest").currentLang = "fr-FR";
        wind.visible = true;
        waitForRendering(wind.contentItem);
        // As the start-up says once the first frame is out.
        wind.forwardMessage("FIRSTFRAME", true);
        // The key is bound once the settings above are in.
        tryCompare(wind, "holdKeyStatus", "bound");
        fixture.recorder.calls = [];
        fixture.hotkey.calls = [];
        fixture.tray.calls = [];
    }

    function cleanup() {
        wind.destroy();
        fixture.destroy();
        wait(0);
    }

    function item(name) {
        const found = findChild(wind, name);
        verify(found !== null, "no " + name);
        return found;
    }

    function recorded(name) {
        return fixture.recorder.named(name).length;
    }

    function test_a_held_key_records_once_and_a_tap_does_nothing() {
        // Shorter than the 120 ms rule: no recording.
        wind.forwardMessage("HOLDKEYDOWN", true);
        wait(30);
        wind.forwardMessage("HOLDKEYUP", true);
        wait(200);
        compare(recorded("vstart"), 0);
        compare(recorded("vstop"), 0);
        // Held: one recording, whatever presses come while it is held.
        wind.forwardMessage("HOLDKEYDOWN", true);
        wind.forwardMessage("HOLDKEYDOWN", true);
        tryVerify(() => recorded("vstart") === 1, 1000);
        wind.forwardMessage("HOLDKEYDOWN", true);
        wait(150);
        compare(recorded("vstart"), 1);
        compare(wind.activity, "recording");
        wind.forwardMessage("HOLDKEYUP", true);
        compare(recorded("vstop"), 1);
        compare(wind.activity, "idle");
        // A second release is not a second stop.
        wind.forwardMessage("HOLDKEYUP", true);
        compare(recorded("vstop"), 1);
    }

    function test_the_key_is_bound_only_when_on_and_its_problems_are_told() {
        wind.holdKeyOn = false;
        tryVerify(() => fixture.hotkey.named("disable").length === 1);
        compare(wind.holdKeyStatus, "off");
        wind.forwardMessage("HOLDKEYDOWN", true);
        wait(200);
        compare(recorded("vstart"), 0);
        wind.holdKeyOn = true;
        tryVerify(() => fixture.hotkey.named("setKey").length === 1);
        compare(fixture.hotkey.named("setKey").map(c => c.args), [["Ctrl+Alt+Space"]]);
        compare(wind.holdKeyStatus, "bound");

        const options = wind.panelFor("Options", wind);
        options.open();
        tryCompare(options, "opened", true);
        const problem = item("holdKeyProblem");
        verify(!problem.visible);
        // The portal answers later, through a message.
        wind.forwardMessage("HOLDKEYSTATUS", "taken");
        compare(problem.text, "label 92");
        verify(problem.visible);
        wind.forwardMessage("HOLDKEYSTATUS", "unavailable");
        compare(problem.text, "label 91");
        verify(!item("holdKeyButton").enabled);
        wind.forwardMessage("HOLDKEYSTATUS", "bound");
        verify(!problem.visible);
        options.close();
    }

    // The user clicks the key's button and presses a combination; a modifier
    // alone waits for the rest, Escape keeps the old key.
    function test_a_new_key_is_taken_from_the_keyboard() {
        const options = wind.panelFor("Options", wind);
        options.open();
        tryCompare(options, "opened", true);
        const button = item("holdKeyButton");
        compare(button.text, "shown Ctrl+Alt+Space");
        mouseClick(button);
        compare(button.text, "label 82");
        keyPress(Qt.Key_Escape);
        compare(button.text, "shown Ctrl+Alt+Space");
        mouseClick(button);
        keyPress(Qt.Key_Control, Qt.ControlModifier);
        compare(button.text, "label 82");
        keyPress(Qt.Key_K, Qt.ControlModifier | Qt.AltModifier);
        compare(wind.holdKey, "Ctrl+Alt+K");
        compare(button.text, "shown Ctrl+Alt+K");
        tryVerify(() => fixture.hotkey.named("setKey").length === 1);
        compare(fixture.hotkey.named("setKey").map(c => c.args), [["Ctrl+Alt+K"]]);
        options.close();
    }

    function test_in_conversation_the_key_is_the_first_languages_turn() {
        wind.conversation = true;
        waitForRendering(wind.contentItem);
        // The last turn went the other way.
        const backward = item("talkBackwardArea");
        mousePress(backward);
        tryVerify(() => recorded("vstart") === 1, 1000);
        mouseRelease(backward);
        compare(wind.turn, "backward");
        wind.forwardMessage("HOLDKEYDOWN", true);
        tryVerify(() => recorded("vstart") === 2, 1000);
        compare(wind.turn, "forward");
        compare(fixture.tts.transcribeLanguage, "en-US");
        wind.forwardMessage("HOLDKEYUP", true);
        compare(recorded("vstop"), 2);
    }

    function test_the_tray_shows_what_happens_and_switches_the_mode() {
        verify(wind.trayShown);
        wind.forwardMessage("ISPLAYING", true);
        compare(wind.activity, "speaking");
        wind.forwardMessage("ISPLAYING", false);
        compare(fixture.tray.named("setActivity").map(c => c.args), [["speaking"], ["idle"]]);
        wind.forwardMessage("TRAYCONVERSATION", true);
        verify(wind.conversation);
        compare(fixture.tray.named("setConversation").map(c => c.args), [[true]]);
        // The menu's check item follows a change made from the tray.
        const menu = wind.panelFor("Menus", wind);
        menu.open();
        tryCompare(menu, "opened", true);
        verify(item("conversation").checked);
        mouseClick(item("conversation"));
        verify(!wind.conversation);
        wind.forwardMessage("TRAYCONVERSATION", true);
        verify(item("conversation").checked);
    }

    property bool closeAccepted: true

    Connections {
        target: testCase.wind
        function onClosing(close) {
            testCase.closeAccepted = close.accepted;
        }
    }

    function test_closing_hides_to_the_tray_only_when_asked() {
        wind.closeToTray = true;
        wind.close();
        verify(!testCase.closeAccepted);
        verify(!wind.visible);
        // Without a tray there is nowhere to hide.
        wind.visible = true;
        wind.trayShown = false;
        wind.close();
        verify(testCase.closeAccepted);
        // Nor when the option is off.
        wind.visible = true;
        wind.trayShown = true;
        wind.closeToTray = false;
        wind.close();
        verify(testCase.closeAccepted);
    }

    function test_always_on_top_and_bring_to_front() {
        wind.alwaysOnTop = true;
        verify(wind.flags & Qt.WindowStaysOnTopHint);
        wind.alwaysOnTop = false;
        verify(!(wind.flags & Qt.WindowStaysOnTopHint));
        wind.holdKeyRaises = true;
        wind.showMinimized();
        wind.forwardMessage("HOLDKEYDOWN", true);
        tryVerify(() => wind.visibility !== Window.Minimized, 2000);
        wind.forwardMessage("HOLDKEYUP", true);
    }
}
