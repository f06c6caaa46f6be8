import QtQuick
import QtTest

// Conversation mode, the transcript, history replay and the speaking rate,
// driven through the real main window with stand-ins for the native objects.
TestCase {
    id: testCase

    name: "Conversation"
    when: windowShown

    property var wind: null
    property MainFixture fixture

    function init() {
        fixture = Qt.createQmlObject("MainFixture {}", testCase);
        wind = fixture.create();
        wind.historyModel = [];
        wind.historyDetails = {};
        wind.historyEnabled = true;
        wind.hasVoice = true;
        wind.hasBip = false;
        wind.onCloudSpeech = true;
        wind.conversation = false;
        item("clangsource").currentLang = "en-US";
        item("clangdest").currentLang = "fr-FR";
        wind.visible = true;
        waitForRendering(wind.contentItem);
        fixture.tts.calls = [];
        fixture.recorder.calls = [];
        fixture.player.calls = [];
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

    function calls(name) {
        return fixture.tts.named(name).map(c => c.args);
    }

    // One turn: hold the side's button, speak, release, hear the reply.
    function speakTurn(side, heard, translation) {
        const button = item(side === "forward" ? "talkForwardArea" : "talkBackwardArea");
        mousePress(button);
        tryVerify(() => fixture.recorder.named("vstart").length === 1);
        wind.forwardMessage("RECORDINGSTARTED", true);
        mouseRelease(button);
        compare(fixture.recorder.named("vstop").length, 1);
        fixture.recorder.calls = [];
        wind.forwardMessage("SPEECH", heard);
        wind.forwardMessage("TRAD", translation);
    }

    function test_four_turns_alternate_languages_voices_and_fields() {
        wind.conversation = true;
        waitForRendering(wind.contentItem);
        compare(item("talkForwardLabel").text, "English");
        compare(item("talkBackwardLabel").text, "French");
        verify(!item("micImage").visible);
        const turns = [["forward", "hello", "bonjour"], ["backward", "merci", "thank you"], ["forward", "good night", "bonne nuit"], ["backward", "à demain", "see you tomorrow"]];
        for (const [side, heard, translation] of turns) {
            fixture.tts.calls = [];
            speakTurn(side, heard, translation);
            const backward = side === "backward";
            // Recognition and synthesis point the turn's way before it records.
            compare(fixture.tts.transcribeLanguage, backward ? "fr-FR" : "en-US");
            compare(fixture.tts.speechLanguage, backward ? "en-US" : "fr-FR");
            compare(calls("ttrad"), [[heard]]);
            compare(calls("tvoice"), [[translation, backward ? wind.sourceShortName : wind.currentShortName]]);
            // Each field holds its own language.
            compare(wind.textToTranslateField.text, backward ? translation : heard);
            compare(wind.translatedTextField.text, backward ? heard : translation);
        }
        verify(wind.sourceShortName.startsWith("en-US-"));
        verify(wind.currentShortName.startsWith("fr-FR-"));
        compare(wind.transcriptModel.length, 4);
        for (let i = 0; i < 4; ++i) {
            const entry = wind.transcriptModel[i];
            compare(entry.direction, turns[i][0]);
            compare(entry.sourceText, turns[i][1]);
            compare(entry.translation, turns[i][2]);
            compare(entry.sourceLanguage, turns[i][0] === "forward" ? "en-US" : "fr-FR");
            compare(entry.targetLanguage, turns[i][0] === "forward" ? "fr-FR" : "en-US");
        }
        // History on: every exchange is stored as it happens.
        compare(fixture.transcript.stored.length, 4);
        // Leaving the mode points everything forward again.
        fixture.tts.calls = [];
        wind.conversation = true;
        item("talkKeys").forceActiveFocus();
        invokeMenu("conversation");
        verify(!wind.conversation);
        compare(fixture.tts.transcribeLanguage, "en-US");
        compare(fixture.tts.speechLanguage, "fr-FR");
    }

    function invokeMenu(name) {
        const menu = fixture.wind.panelFor("Menus", wind);
        menu.open();
        tryVerify(() => menu.opened);
        const entry = findChild(menu, name);
        verify(entry !== null);
        mouseClick(entry);
        tryVerify(() => !menu.visible);
    }

    function test_hold_keys_follow_the_120_ms_rule_and_ignore_repeats() {
        wind.conversation = true;
        const keys = item("talkKeys");
        keys.forceActiveFocus();
        // Shorter than 120 ms: nothing starts.
        keyPress(Qt.Key_Space);
        wait(30);
        keyRelease(Qt.Key_Space);
        wait(200);
        compare(fixture.recorder.named("vstart").length, 0);
        // Shift+Space held: the second language's turn, one recording
        // however many repeats the keyboard sends.
        keyPress(Qt.Key_Space, Qt.ShiftModifier);
        tryVerify(() => fixture.recorder.named("vstart").length === 1);
        for (let i = 0; i < 5; ++i)
            keyPress(Qt.Key_Space, Qt.ShiftModifier, 30);
        compare(fixture.recorder.named("vstart").length, 1);
        compare(wind.turn, "backward");
        compare(fixture.tts.transcribeLanguage, "fr-FR");
        keyRelease(Qt.Key_Space, Qt.ShiftModifier);
        compare(fixture.recorder.named("vstop").length, 1);
        // Space alone: the first language.
        keyPress(Qt.Key_Space);
        tryVerify(() => fixture.recorder.named("vstart").length === 2);
        compare(wind.turn, "forward");
        keyRelease(Qt.Key_Space);
        compare(fixture.recorder.named("vstop").length, 2);
        // Outside conversation mode the keys do nothing.
        wind.conversation = false;
        keys.forceActiveFocus();
        keyPress(Qt.Key_Space);
        wait(200);
        keyRelease(Qt.Key_Space);
        compare(fixture.recorder.named("vstart").length, 2);
    }

    function test_normal_mode_is_unchanged() {
        verify(item("micImage").visible);
        verify(findChild(wind, "talkButtons") === null);
        wind.textToTranslateField.text = "hello";
        wind.textToTranslateField.accepted();
        compare(calls("ttrad"), [["hello"]]);
        wind.forwardMessage("TRAD", "bonjour");
        compare(wind.translatedTextField.text, "bonjour");
        compare(calls("tvoice"), [["bonjour", wind.currentShortName]]);
        compare(calls("setFastTranscribe").length, 0);
    }

    function test_history_replays_from_the_cache_or_translates_again() {
        wind.textToTranslateField.text = "good morning";
        wind.textToTranslateField.accepted();
        wind.forwardMessage("TRAD", "bonjour");
        compare(wind.historyDetails["good morning"].translation, "bonjour");
        wind.textToTranslateField.text = "";
        wind.translatedTextField.text = "";
        fixture.tts.calls = [];
        // Cached: both texts at once, the reply replayed, no request.
        fixture.tts.cached = {
            ["bonjour|" + wind.currentShortName + "|fr-FR"]: true
        };
        fixture.wind.panelFor("History", wind);
        Qt.callLater(() => {});
        const history = findChild(wind, "History");
        history.open();
        tryVerify(() => history.position === 1);
        const list = findChild(history, "historyList");
        const entry = list.itemAtIndex(0);
        compare(findChild(entry, "historyTranslation").text, "bonjour");
        mouseClick(entry);
        compare(wind.textToTranslateField.text, "good morning");
        compare(wind.translatedTextField.text, "bonjour");
        compare(calls("replay"), [["bonjour", wind.currentShortName, "fr-FR"]]);
        compare(calls("ttrad").length, 0);
        compare(calls("tvoice").length, 0);
        compare(Array.from(wind.historyModel), ["good morning"]);
        compare(wind.transcriptModel.length, 1);
        // Another voice: nothing cached, so translated again as before.
        wind.currentShortName = "fr-FR-Voice3Neural";
        wind.historyDetails = wind.historyDetails;
        Qt.callLater(() => {});
        fixture.tts.calls = [];
        wind.panelFor("History", wind).open();
        tryVerify(() => history.position === 1);
        mouseClick(list.itemAtIndex(0));
        compare(calls("ttrad"), [["good morning"]]);
        // Languages changed since: translated again too.
        item("clangdest").currentLang = "de-DE";
        fixture.tts.calls = [];
        wind.panelFor("History", wind).open();
        tryVerify(() => history.position === 1);
        mouseClick(list.itemAtIndex(0));
        compare(calls("replay").length, 0);
        compare(calls("ttrad"), [["good morning"]]);
    }

    function test_speaking_rate_is_kept_in_steps_and_sent() {
        compare(wind.speechRate, 0.8);
        wind.panelFor("Options", wind).open();
        const slider = findChild(wind, "rateSlider");
        verify(slider !== null);
        compare(slider.from, 0.5);
        compare(slider.to, 1.5);
        slider.value = 1.23;
        tryVerify(() => Math.abs(wind.speechRate - 1.25) < 1e-9);
        compare(calls("setSpeakingRate").pop(), [1.25]);
    }

    function test_transcript_copy_export_and_clear_asks_once() {
        wind.textToTranslateField.text = "one";
        wind.textToTranslateField.accepted();
        wind.forwardMessage("TRAD", "un");
        wind.textToTranslateField.text = "two";
        wind.textToTranslateField.accepted();
        wind.forwardMessage("TRAD", "deux");
        const drawer = wind.panelFor("Transcript", wind);
        drawer.open();
        tryVerify(() => drawer.position === 1);
        compare(findChild(drawer, "transcriptList").count, 2);
        drawer.exportTo("file:///somewhere/talk.md");
        compare(fixture.transcript.exported.length, 1);
        compare(fixture.transcript.exported[0].kind, "text");
        compare(fixture.transcript.exported[0].count, 2);
        mouseClick(findChild(drawer, "clearTranscript"));
        const question = findChild(drawer, "clearTranscriptQuestion");
        tryVerify(() => question.opened);
        compare(wind.transcriptModel.length, 2);
        mouseClick(findChild(question, "cancelClear"));
        tryVerify(() => !question.visible);
        compare(wind.transcriptModel.length, 2);
        verify(!fixture.transcript.cleared);
        mouseClick(findChild(drawer, "clearTranscript"));
        tryVerify(() => question.opened);
        mouseClick(findChild(question, "confirmClear"));
        tryVerify(() => !question.visible);
        compare(wind.transcriptModel.length, 0);
        verify(fixture.transcript.cleared);
    }

    function test_history_off_keeps_the_transcript_for_the_session_only() {
        wind.historyEnabled = false;
        wind.textToTranslateField.text = "private";
        wind.textToTranslateField.accepted();
        wind.forwardMessage("TRAD", "privé");
        compare(wind.transcriptModel.length, 1);
        compare(fixture.transcript.stored.length, 0);
    }

    function test_voice_dialog_has_a_side_per_language_in_conversation() {
        wind.conversation = true;
        const dialog = wind.panelFor("Speakers", wind);
        dialog.open();
        tryVerify(() => dialog.opened);
        verify(findChild(dialog, "voiceSides").visible);
        compare(findChild(dialog, "voiceSideBackward").text, "label 79".replace("%1", "English"));
        mouseClick(findChild(dialog, "voiceSideBackward"));
        compare(dialog.voices.length, 26);
        const column = findChild(dialog, "voiceColumn0");
        waitForItemPolished(column);
        waitForRendering(column);
        // en-US has 26 voices: three columns of at most 9.
        const buttons = Array.from(column.children).filter(c => c.text !== undefined);
        compare(buttons.length, 9);
        mouseClick(buttons.find(b => b.text === "en voice 1"));
        compare(wind.sourceVoice, "en voice 1");
        compare(wind.sourceShortName, "en-US-Voice1Neural");
        verify(wind.currentShortName.startsWith("fr-FR-"));
    }
}
