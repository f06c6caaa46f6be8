import QtQuick
import QtQuick.Controls
import QtTest

// The panels, opened through the real main window with stand-in natives.
TestCase {
    id: testCase

    property MainFixture fixture
    property var wind: null

    function init() {
        fixture = Qt.createQmlObject("MainFixture {}", testCase);
        wind = fixture.create();
        wind.hasVoice = true;
        wind.historyEnabled = true;
        wind.visible = true;
        waitForRendering(wind.contentItem);
    }

    function cleanup() {
        wind.destroy();
        fixture.destroy();
        wait(0);
    }

    function openPanel(name) {
        wind.forwardMessage("BUSY", false); // any message makes the controller live
        const menu = openMenu();
        const entries = {
            "History": "history",
            "Speakers": "voice",
            "Theme": "theme",
            "Options": "parameters",
            "About": "about"
        };
        findChild(menu.contentItem, entries[name]).triggered();
        menu.close();
        const panel = findChild(wind, name);
        verify(panel !== null, name);
        tryVerify(() => panel.opened || panel.position === 1);
        return panel;
    }

    function openMenu() {
        findChild(wind, "toolButton").clicked();
        const menu = findChild(wind, "Menus");
        tryVerify(() => menu.opened);
        return menu;
    }

    function columnSizes(dialog) {
        const sizes = [];
        for (let i = 0; i < 3; ++i) {
            const column = findChild(dialog, "voiceColumn" + i);
            sizes.push(column.visible ? column.children.filter(c => c instanceof RadioButton).length : -1);
        }
        return sizes;
    }

    function test_voice_columns_data() {
        return [
            {
                tag: "5 voices",
                lang: "fr-FR",
                sizes: [3, 2, -1]
            },
            {
                tag: "20 voices",
                lang: "es-ES",
                sizes: [10, 10, -1]
            },
            {
                tag: "21 voices",
                lang: "ja-JP",
                sizes: [7, 7, 7]
            }
        ];
    }

    function test_voice_columns(data) {
        findChild(wind, "clangdest").currentLang = data.lang;
        const dialog = openPanel("Speakers");
        compare(columnSizes(dialog), data.sizes);
    }

    function test_picking_a_voice_sets_both_names_and_closes() {
        findChild(wind, "clangdest").currentLang = "ja-JP";
        const dialog = openPanel("Speakers");
        const third = findChild(dialog, "voiceColumn1").children.filter(c => c instanceof RadioButton)[2];
        mouseClick(third);
        compare(wind.currentVoice, "ja voice 9");
        compare(wind.currentShortName, "ja-JP-Voice9Neural");
        tryVerify(() => !dialog.visible);
    }

    function test_history_switch_hides_but_keeps() {
        wind.historyModel = ["one", "two"];
        const drawer = openPanel("History");
        const list = findChild(drawer, "historyList");
        const clear = findChild(drawer, "clearHistory");
        verify(list.visible && clear.visible);
        compare(list.count, 2);
        const toggle = drawer.contentItem.children.find(c => c instanceof Switch) ?? findChild(drawer, "historySwitch");
        toggle.toggle();
        verify(!wind.historyEnabled);
        verify(!list.visible && !clear.visible);
        compare(Array.from(wind.historyModel), ["one", "two"]);
        toggle.toggle();
        verify(list.visible);
        mouseClick(clear);
        compare(wind.historyModel.length, 0);
    }

    function test_sliders_report_only_on_release() {
        const dialog = openPanel("Options");
        const slider = findChild(dialog, "voiceSlider");
        const before = fixture.player.named("setSpeechVolume").length;
        mousePress(slider, slider.leftPadding + 2, slider.height / 2);
        mouseMove(slider, slider.width / 2, slider.height / 2);
        compare(fixture.player.named("setSpeechVolume").length, before);
        compare(wind.voiceVol, 1);
        mouseRelease(slider, slider.width / 2, slider.height / 2);
        compare(fixture.player.named("setSpeechVolume").length, before + 1);
        verify(wind.voiceVol < 0.7 && wind.voiceVol > 0.3);
        compare(fixture.player.named("setSpeechVolume").pop().args[0], wind.voiceVol);
    }

    function test_notifications_close_after_a_delay_restarted_on_reopen() {
        wind.forwardMessage("WARNING", false);
        const warning = findChild(wind, "Warning");
        tryVerify(() => warning.opened);
        // It says why, not only shows an icon.
        compare(findChild(warning, "warningText").text, wind.helper.getBaseLabel(43));
        wait(1500);
        warning.close();
        warning.open();
        tryVerify(() => warning.opened);
        // Counted from the first opening it would close within about 2.5 s;
        // a slow machine can only lengthen what is measured here.
        const reopened = Date.now();
        tryVerify(() => !warning.visible, 8000);
        verify(Date.now() - reopened >= 3900, `closed ${Date.now() - reopened} ms after reopening`);
    }

    function test_replay_button_follows_speech_output() {
        wind.forwardMessage("ISPLAYING", false);
        const button = findChild(wind, "RepeatBt");
        verify(button.visible);
        mouseClick(button);
        compare(fixture.player.named("play").length, 1);
        wind.forwardMessage("ISPLAYING", true);
        const stops = fixture.player.named("stop").length;
        mouseClick(button);
        compare(fixture.player.named("stop").length, stops + 1);
        compare(fixture.player.named("play").length, 1);
        wind.hasVoice = false;
        verify(!button.visible);
    }

    function test_theme_and_background() {
        const dialog = openPanel("Theme");
        wind.isLight = true;
        const dark = dialog.contentItem.children[0].children[1];
        mouseClick(dark);
        verify(!wind.isLight);
        tryVerify(() => !dialog.visible);
        findChild(wind, "customBackGround").source = "file:///nowhere/picture.png";
        const again = openPanel("Theme");
        compare(again, dialog);
        mouseClick(dialog.contentItem.children[0].children[3]);
        compare(String(findChild(wind, "customBackGround").source), "");
    }

    function test_escape_closes_the_open_dialog() {
        const dialog = openPanel("Options");
        keyClick(Qt.Key_Escape);
        tryVerify(() => !dialog.visible);
        const voices = openPanel("Speakers");
        keyClick(Qt.Key_Escape);
        tryVerify(() => !voices.visible);
    }

    function test_about_and_contributors() {
        const about = openPanel("About");
        verify(about.title.length > 0);
        about.close();
        wind.forwardMessage("BUSY", false);
    }

    name: "Panels"
    when: windowShown
}
