import QtQuick
import QtTest

// The controller script driven through the real main window, with stand-ins
// for the four native objects.
TestCase {
    id: testCase

    property var wind: null
    property FakeTts tts
    property FakeHelper helper
    property FakePlayer player
    property FakeRecorder recorder
    property FakeAccount account

    function init() {
        tts = Qt.createQmlObject("FakeTts {}", testCase);
        helper = Qt.createQmlObject("FakeHelper {}", testCase);
        player = Qt.createQmlObject("FakePlayer {}", testCase);
        recorder = Qt.createQmlObject("FakeRecorder {}", testCase);
        account = Qt.createQmlObject("FakeAccount {}", testCase);
        const component = Qt.createComponent("TolkaModule", "Main");
        verify(component.status === Component.Ready, component.errorString());
        wind = component.createObject(null, {
            "tts": tts,
            "helper": helper,
            "player": player,
            "recorder": recorder,
            "account": account
        });
        verify(wind !== null, component.errorString());
        wind.historyModel = [];
        wind.historyEnabled = true;
        wind.hasVoice = true;
        wind.hasBip = true;
        wind.onCloudSpeech = true;
        item("clangsource").currentLang = "en-US";
        item("clangdest").currentLang = "fr-FR";
        wind.visible = true;
        waitForRendering(wind.contentItem);
        tts.calls = [];
        player.calls = [];
        recorder.calls = [];
    }

    function cleanup() {
        wind.destroy();
        wait(0);
    }

    function item(name) {
        const found = findChild(wind, name);
        verify(found !== null, "no " + name);
        return found;
    }

    function panel(name) {
        return findChild(wind, name);
    }

    function names(fake) {
        return fake.calls.map(c => c.name);
    }

    function test_completion_initialises_in_order() {
        const fresh = Qt.createComponent("TolkaModule", "Main").createObject(null, {
            "tts": Qt.createQmlObject("FakeTts {}", testCase),
            "helper": helper,
            "player": Qt.createQmlObject("FakePlayer {}", testCase),
            "recorder": Qt.createQmlObject("FakeRecorder {}", testCase),
            "account": Qt.createQmlObject("FakeAccount {}", testCase)
        });
        compare(fresh.tts.named("init").length, 1);
        compare(fresh.account.named("init").length, 1);
        // Once the client is initialised it knows both languages.
        const afterInit = fresh.tts.calls.slice(fresh.tts.calls.findIndex(c => c.name === "init"));
        compare(afterInit.filter(c => c.name === "setFastTranscribe").pop().args, ["en-US"]);
        compare(afterInit.filter(c => c.name === "setSpeechLanguage").pop().args, ["fr-FR"]);
        compare(fresh.recorder.named("init")[0].args, ["en-US"]);
        compare(fresh.player.named("init")[0].args, [fresh.voiceVol, fresh.appVol]);
        fresh.destroy();
    }

    function test_dispatch_trad_shows_and_speaks() {
        wind.forwardMessage("TRAD", "Bonjour");
        compare(wind.translatedTextField.text, "Bonjour");
        compare(tts.named("tvoice")[0].args, ["Bonjour", wind.currentShortName]);
        wind.hasVoice = false;
        wind.forwardMessage("TRAD", "Salut");
        compare(wind.translatedTextField.text, "Salut");
        compare(tts.named("tvoice").length, 1);
        wind.forwardMessage("TRAD", "");
        compare(wind.translatedTextField.text, "Salut");
    }

    function test_dispatch_speech_translates_and_saves() {
        wind.forwardMessage("SPEECH", "hello there");
        compare(wind.textToTranslateField.text, "hello there");
        compare(tts.named("ttrad")[0].args, ["hello there"]);
        compare(player.named("stop").length, 1);
        compare(Array.from(wind.historyModel), ["hello there"]);
    }

    function test_dispatch_empty_or_undefined_speech_says_nothing_was_heard() {
        for (const heard of ["", undefined, "  "]) {
            wind.forwardMessage("SPEECH", heard);
            tryVerify(() => panel("Notice").visible);
            compare(panel("Notice").text, "label 48");
            panel("Notice").close();
            tryVerify(() => !panel("Notice").visible);
        }
        compare(tts.named("ttrad").length, 0);
    }

    // Offline engines up in a moment: nothing flashes by; slow ones are announced.
    function test_offline_start_told_only_when_slow() {
        const offline = state => ({ "mode": "offline", "state": state, "capabilities": {} });
        wind.forwardMessage("SERVICE", offline("starting"));
        wait(300);
        wind.forwardMessage("SERVICE", offline("ready"));
        wait(2000);
        verify(panel("Notice") === null || !panel("Notice").visible);
        wind.forwardMessage("SERVICE", offline("starting"));
        tryVerify(() => panel("Notice") !== null && panel("Notice").visible, 5000);
        compare(panel("Notice").text, "label 55");
        panel("Notice").close();
        tryVerify(() => !panel("Notice").visible);
        wind.forwardMessage("SERVICE", { "mode": "cloud", "state": "ready" });
    }

    function test_dispatch_busy_warning_and_playing() {
        wind.forwardMessage("BUSY", true);
        verify(panel("Busy").visible);
        wind.forwardMessage("BUSY", false);
        verify(!panel("Busy").visible);
        wind.forwardMessage("BUSY", true);
        wind.forwardMessage("WARNING", false);
        verify(!panel("Busy").visible);
        tryVerify(() => panel("Warning").visible);
        panel("Warning").close();
        tryVerify(() => !panel("Warning").visible);
        // A request that is not resent tells why, in a notice.
        wind.forwardMessage("BUSY", true);
        wind.forwardMessage("ERROR", {
            "service": "recognition",
            "failure": "nothingRecognised",
            "status": 200,
            "code": "NoMatch"
        });
        verify(!panel("Busy").visible);
        tryVerify(() => panel("Notice").visible);
        compare(panel("Notice").text, "label 48");

        wind.forwardMessage("ISPLAYING", true);
        const repeat = panel("RepeatBt");
        verify(repeat.isPlaying);
        compare(repeat.parent, item("toolbar"));
        wind.forwardMessage("ISPLAYING", false);
        verify(!repeat.isPlaying);
    }

    function test_dispatch_recording_started_and_partial_results() {
        wind.forwardMessage("RECORDINGSTARTED", true);
        const timer = panel("TimerLabel");
        verify(timer.visible);
        compare(timer.parent, item("timerContainer"));
        wind.translatedTextField.text = "old";
        wind.forwardMessage("PARTIALSPEECHRESULT", "partial words");
        compare(wind.textToTranslateField.text, "partial words");
        compare(wind.translatedTextField.text, "");
        wind.forwardMessage("NOSUCHTAG", true);
        compare(wind.textToTranslateField.text, "partial words");
    }

    function test_dispatch_speech_service_switches() {
        wind.hasSpeechService = false;
        wind.forwardMessage("HASPEECHSERVICE", true);
        verify(!wind.onCloudSpeech);
        verify(wind.hasSpeechService);
        wind.forwardMessage("HASPEECHSERVICE", true);
        verify(!wind.onCloudSpeech);
        wind.forwardMessage("HASPEECHSERVICE", false);
        verify(wind.onCloudSpeech);
        verify(!wind.hasSpeechService);
    }

    function test_translate_same_language_needs_no_request() {
        item("clangdest").currentLang = "en-US";
        tts.calls = [];
        wind.textToTranslateField.text = "same words";
        wind.textToTranslateField.accepted();
        compare(tts.named("ttrad").length, 0);
        compare(wind.translatedTextField.text, "same words");
        compare(tts.named("tvoice")[0].args[0], "same words");
    }

    function test_translate_different_languages_asks_the_service() {
        wind.textToTranslateField.text = "good morning";
        wind.textToTranslateField.accepted();
        compare(tts.named("ttrad")[0].args, ["good morning"]);
        compare(wind.textToTranslateField.selectedText, "good morning");
        wind.textToTranslateField.text = "";
        wind.textToTranslateField.accepted();
        compare(tts.named("ttrad").length, 1);
    }

    function test_sortvoices_keeps_or_replaces_the_voice() {
        item("clangdest").currentLang = "es-ES";
        compare(wind.voices.length, 20);
        compare(wind.currentShortName, "es-ES-Voice0Neural");
        wind.currentVoice = wind.voices[3];
        wind.currentShortName = wind.shortNames[3];
        // Same list again: the choice stays.
        item("clangdest").currentLang = "fr-FR";
        item("clangdest").currentLang = "es-ES";
        compare(wind.currentShortName, "es-ES-Voice0Neural");
        wind.currentShortName = wind.shortNames[3];
        item("clangsource").currentLang = "de-DE";
        compare(wind.currentShortName, "es-ES-Voice3Neural");
        compare(tts.named("setSpeechLanguage").pop().args, ["es-ES"]);
        compare(tts.named("setFastTranscribe").pop().args, ["de-DE"]);
    }

    function test_swap_runs_both_handlers() {
        item("swapLanguages").clicked();
        compare(item("clangsource").currentLang, "fr-FR");
        compare(item("clangdest").currentLang, "en-US");
        compare(tts.named("setFastTranscribe").pop().args, ["fr-FR"]);
        compare(tts.named("setSpeechLanguage").pop().args, ["en-US"]);
        compare(wind.voices.length, 26);
    }

    function test_unknown_language_falls_back_to_default() {
        item("clangsource").currentLang = "xx-XX";
        compare(item("clangsource").currentLang, "en-US");
        item("clangdest").currentLang = "zz-ZZ";
        compare(item("clangdest").currentLang, "fr-FR");
        compare(wind.voices.length, 5);
    }

    function test_short_press_does_nothing() {
        const mic = item("micImage");
        mousePress(mic);
        mouseRelease(mic);
        compare(player.named("bip").length, 0);
        compare(recorder.named("vstart").length, 0);
        compare(recorder.named("vstop").length, 0);
    }

    function test_hold_with_prompt_records_after_bip() {
        const mic = item("micImage");
        mousePress(mic);
        tryVerify(() => player.named("bip").length === 1);
        compare(recorder.named("vstart").length, 0);
        wind.forwardMessage("ISBIP", true);
        compare(recorder.named("vstart")[0].args, [true]);
        wind.forwardMessage("RECORDINGSTARTED", true);
        verify(panel("TimerLabel").visible);
        mouseRelease(mic);
        compare(recorder.named("vstop")[0].args, [true]);
        verify(!panel("TimerLabel").visible);
    }

    function test_hold_without_prompt_records_at_once() {
        wind.hasBip = false;
        const mic = item("micImage");
        mousePress(mic);
        tryVerify(() => recorder.named("vstart").length === 1);
        compare(player.named("bip").length, 0);
        compare(player.named("stop").length, 1);
        mouseRelease(mic);
        compare(recorder.named("vstop").length, 1);
    }

    function test_release_during_prompt_starts_nothing() {
        const mic = item("micImage");
        mousePress(mic);
        tryVerify(() => player.named("bip").length === 1);
        mouseRelease(mic);
        wind.forwardMessage("ISBIP", true);
        compare(recorder.named("vstart").length, 0);
    }

    function test_countdown_end_stops_the_recording() {
        wind.hasBip = false;
        const mic = item("micImage");
        mousePress(mic);
        tryVerify(() => recorder.named("vstart").length === 1);
        wind.forwardMessage("RECORDINGSTARTED", true);
        const timer = panel("TimerLabel");
        compare(timer.timer, 60);
        timer.timer = 1;
        tryVerify(() => !timer.visible, 3000);
        compare(recorder.named("vstop").length, 1);
        mouseRelease(mic);
        compare(recorder.named("vstop").length, 1);
    }

    function test_history_saving_replay_and_switch() {
        wind.textToTranslateField.text = "first";
        wind.textToTranslateField.accepted();
        wind.textToTranslateField.text = "second";
        wind.textToTranslateField.accepted();
        compare(Array.from(wind.historyModel), ["second", "first"]);
        // A replay from the drawer translates without saving again.
        // The drawer is built in the background and can be found before its
        // bindings are all set: wait until it lists both entries.
        tryVerify(() => {
            const drawer = panel("History");
            const entries = drawer ? findChild(drawer, "historyList") : null;
            return entries !== null && entries.count === 2;
        });
        const history = panel("History");
        const list = findChild(history, "historyList");
        history.open();
        tryVerify(() => history.position === 1);
        const entry = list.itemAtIndex(1);
        mouseClick(entry);
        compare(tts.named("ttrad").pop().args, ["first"]);
        compare(Array.from(wind.historyModel), ["second", "first"]);
        wind.historyEnabled = false;
        wind.textToTranslateField.text = "third";
        wind.textToTranslateField.accepted();
        compare(Array.from(wind.historyModel), ["second", "first"]);
    }

    // Nothing asks for the history drawer here: it can only come from the
    // background preparation, which starts after the window's first frame,
    // also when the window's start-up keeps the GUI thread busy while the
    // drawer's type loads. Windows closed before their first frame, before
    // the drawer is built or after must neither crash nor keep building.
    function test_history_drawer_prepared_in_background() {
        tryVerify(() => panel("History") !== null);
        for (let i = 0; i < 12; ++i) {
            const fresh = Qt.createComponent("TolkaModule", "Main").createObject(null, {
                "tts": Qt.createQmlObject("FakeTts {}", testCase),
                "helper": helper,
                "player": Qt.createQmlObject("FakePlayer {}", testCase),
                "recorder": Qt.createQmlObject(`FakeRecorder { initMilliseconds: ${i * 10} }`, testCase),
                "account": account,
                "visible": i % 3 !== 0
            });
            if (i % 2 && fresh.visible)
                tryVerify(() => findChild(fresh, "History") !== null);
            fresh.destroy();
            wait(i % 7);
        }
        wait(50);
        // The start-up's first-frame message releases the work at once.
        const told = Qt.createComponent("TolkaModule", "Main").createObject(null, {
            "tts": Qt.createQmlObject("FakeTts {}", testCase),
            "helper": helper,
            "player": Qt.createQmlObject("FakePlayer {}", testCase),
            "recorder": Qt.createQmlObject("FakeRecorder {}", testCase),
            "account": account
        });
        told.forwardMessage("FIRSTFRAME", true);
        tryVerify(() => findChild(told, "History") !== null, 1500);
        told.destroy();
        // A window never drawn still gets it, once the wait for its first frame runs out.
        const hidden = Qt.createComponent("TolkaModule", "Main").createObject(null, {
            "tts": Qt.createQmlObject("FakeTts {}", testCase),
            "helper": helper,
            "player": Qt.createQmlObject("FakePlayer {}", testCase),
            "recorder": Qt.createQmlObject("FakeRecorder {}", testCase),
            "account": account
        });
        wait(1000);
        verify(findChild(hidden, "History") === null);
        tryVerify(() => findChild(hidden, "History") !== null, 10000);
        hidden.destroy();
    }

    function test_paste_and_copy() {
        wind.translatedTextField.text = "copied words";
        openMenuItem("copy");
        tryVerify(() => panel("Copy") && panel("Copy").visible);
        wind.textToTranslateField.text = "";
        openMenuItem("paste");
        compare(wind.textToTranslateField.text, "copied words");
        compare(tts.named("ttrad").pop().args, ["copied words"]);
        openMenuItem("clearscreen");
        compare(wind.textToTranslateField.text, "");
        compare(wind.translatedTextField.text, "");
    }

    function test_panels_are_created_once_and_reused() {
        wind.forwardMessage("BUSY", true);
        const busy = panel("Busy");
        wind.forwardMessage("BUSY", false);
        wind.forwardMessage("BUSY", true);
        compare(panel("Busy"), busy);
        let count = 0;
        for (const child of wind.data)
            if (child.objectName === "Busy")
                ++count;
        compare(count, 1);
    }

    function openMenuItem(name) {
        item("toolButton").clicked();
        const menu = panel("Menus");
        tryVerify(() => menu.opened);
        const entry = findChild(menu.contentItem, name);
        verify(entry !== null, name);
        entry.triggered();
        menu.close();
        tryVerify(() => !menu.visible);
    }

    name: "Controller"
    when: windowShown
}
