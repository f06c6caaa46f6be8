import QtQuick
import QtTest

// What the user is told, in words, for each cause, and the service account
// panel, through the real main window with stand-ins for the native objects.
// The stand-in catalogue names every label "label <id>".
TestCase {
    id: testCase

    property MainFixture fixture
    property var wind: null

    function init() {
        fixture = Qt.createQmlObject("MainFixture {}", testCase);
        wind = fixture.create();
        wind.visible = true;
        waitForRendering(wind.contentItem);
    }

    function cleanup() {
        wind.destroy();
        wait(0);
    }

    function panel(name) {
        return findChild(wind, name);
    }

    function noticeFor(tag, value) {
        const notice = panel("Notice");
        if (notice)
            notice.close();
        wind.forwardMessage(tag, value);
        tryVerify(() => panel("Notice") !== null && panel("Notice").opened);
        return panel("Notice");
    }

    function error(service, failure, code, extra) {
        return Object.assign({
            "service": service,
            "failure": failure,
            "status": 400,
            "code": code
        }, extra ?? {});
    }

    function test_every_failure_has_its_words_data() {
        return [
            {name: "ERROR", tag: "key rejected", value: error("translation", "keyRejected", "401000"), text: "label 44", action: "label 26"},
            {name: "ERROR", tag: "nothing recognised", value: error("recognition", "nothingRecognised", "NoMatch"), text: "label 48", action: ""},
            {name: "ERROR", tag: "throttled", value: error("translation", "throttled", "429000", {"wait": 2500}), text: "label 45", action: ""},
            {name: "ERROR", tag: "language refused", value: error("translation", "badRequest", "400036"), text: "label 46", action: ""},
            {name: "ERROR", tag: "bad request", value: error("synthesis", "badRequest", "400"), text: "label 54", action: ""},
            {name: "ERROR", tag: "speech not decodable", value: error("synthesis", "transient", "undecodable"), text: "label 95", action: ""},
            {name: "ERROR", tag: "speech too large", value: error("synthesis", "tooLarge", ""), text: "label 95", action: ""},
            {name: "ERROR", tag: "translation too large", value: error("translation", "tooLarge", ""), text: "label 43", action: ""},
            {name: "ERROR", tag: "network", value: error("translation", "transient", ""), text: "label 43", action: ""},
            {name: "AUDIOERROR", tag: "microphone", value: {"device": "microphone"}, text: "label 49", action: ""},
            {name: "AUDIOERROR", tag: "sound output", value: {"device": "output"}, text: "label 50", action: ""},
            {name: "AUDIOERROR", tag: "no microphone at all", value: {"device": "microphone", "reason": "missing"}, text: "label 49", action: ""},
            {name: "AUDIOERROR", tag: "microphone unplugged", value: {"device": "microphone", "reason": "lost"}, text: "label 56", action: ""},
            {name: "AUDIOERROR", tag: "output unplugged", value: {"device": "output", "reason": "lost"}, text: "label 57", action: ""},
            {name: "AUDIOERROR", tag: "held by another program", value: {"device": "output", "reason": "inUse"}, text: "label 58", action: ""},
            // The way to the privacy settings exists on Windows only.
            {name: "AUDIOERROR", tag: "microphone blocked", value: {"device": "microphone", "reason": "permission"}, text: "label 59",
                action: Qt.platform.os === "windows" ? "label 60" : ""}
        ];
    }
    function test_every_failure_has_its_words(data) {
        wind.forwardMessage("BUSY", true);
        const notice = noticeFor(data.name, data.value);
        compare(notice.text, data.text);
        compare(notice.actionText, data.action);
        // Busy no longer: nothing is being waited for.
        verify(!panel("Busy").visible);
        // Read out as an alert.
        compare(notice.contentItem.Accessible.role, Accessible.AlertMessage);
        compare(notice.contentItem.Accessible.name, data.text);
    }

    function test_the_key_notice_opens_the_account() {
        const notice = noticeFor("ERROR", error("speech", "keyRejected", "401"));
        mouseClick(findChild(notice, "noticeAction"));
        tryVerify(() => panel("Account") !== null && panel("Account").opened);
        verify(!notice.visible);
    }

    function test_a_notice_goes_by_itself_or_at_a_click() {
        let notice = noticeFor("AUDIOERROR", {"device": "output"});
        mouseClick(notice.contentItem);
        tryVerify(() => !notice.visible);
        notice = noticeFor("AUDIOERROR", {"device": "output"});
        tryVerify(() => !notice.visible, 9000);
    }

    function test_blank_text_is_not_sent() {
        wind.textToTranslateField.text = "   \t ";
        keyClick(Qt.Key_Return);
        wind.textToTranslateField.forceActiveFocus();
        keyClick(Qt.Key_Return);
        tryVerify(() => panel("Notice") !== null && panel("Notice").visible);
        compare(panel("Notice").text, "label 52");
        compare(fixture.tts.named("ttrad").length, 0);
    }

    function test_the_length_limit_is_told() {
        wind.textToTranslateField.text = "x".repeat(999);
        verify(panel("Notice") === null || !panel("Notice").visible);
        wind.textToTranslateField.insert(999, "yz");
        compare(wind.textToTranslateField.length, 1000);
        tryVerify(() => panel("Notice") !== null && panel("Notice").visible);
        compare(panel("Notice").text, "label 53");
    }

    function test_offline_state_is_shown_and_its_failure_told() {
        const mark = findChild(wind, "offlineMark");
        verify(!mark.visible);
        let notice = noticeFor("SERVICE", {"mode": "offline", "state": "starting", "capabilities": {}});
        verify(mark.visible);
        compare(notice.text, "label 55");
        notice = noticeFor("SERVICE", {"mode": "offline", "state": "failed", "failure": "x", "capabilities": {}});
        compare(notice.text, "label 51");
        compare(notice.actionText, "label 26");
        wind.forwardMessage("SERVICE", {"mode": "cloud", "state": "ready", "capabilities": {}});
        verify(!mark.visible);
    }

    function test_languages_missing_offline_are_named() {
        findChild(wind, "clangsource").currentLang = "en-US";
        findChild(wind, "clangdest").currentLang = "fr-FR";
        fixture.account.gaps = ["recognition", "voice"];
        const notice = noticeFor("SERVICE", {"mode": "offline", "state": "ready", "capabilities": {"recognition": []}});
        compare(notice.text, "label 47");
        compare(fixture.account.named("offlineGaps").pop().args, ["en-US", "fr-FR"]);
        // Choosing another language asks again.
        findChild(wind, "clangdest").currentLang = "de-DE";
        compare(fixture.account.named("offlineGaps").pop().args, ["en-US", "de-DE"]);
        // In the cloud nothing is missing, and nothing is asked.
        const asked = fixture.account.named("offlineGaps").length;
        wind.forwardMessage("SERVICE", {"mode": "cloud", "state": "ready", "capabilities": {}});
        findChild(wind, "clangdest").currentLang = "it-IT";
        compare(fixture.account.named("offlineGaps").length, asked);
    }

    function test_account_panel_stores_keys_and_never_shows_them() {
        wind.forwardMessage("SERVICE", {"mode": "cloud", "state": "ready", "secure": true, "speechRegion": "",
                               "automaticRegion": "westeurope", "translatorRegion": "", "keys": {"speech": "", "translator": "", "speechBackup": "", "translatorBackup": ""}});
        wind.forwardMessage("ERROR", error("translation", "keyRejected", "401000"));
        tryVerify(() => panel("Notice") !== null && panel("Notice").opened);
        mouseClick(findChild(panel("Notice"), "noticeAction"));
        const dialog = panel("Account");
        tryVerify(() => dialog.opened);
        const key = findChild(dialog, "translatorKey");
        key.forceActiveFocus();
        key.text = "0123456789abcdef0123456789abcdef";
        key.editingFinished();
        compare(fixture.account.named("setKey").pop().args, ["translator", "0123456789abcdef0123456789abcdef"]);
        // Stored, then gone from the field; the account reports the hint.
        compare(key.text, "");
        wind.forwardMessage("SERVICE", Object.assign({}, wind.service, {"keys": {"speech": "", "translator": "cdef", "speechBackup": "", "translatorBackup": ""}}));
        verify(key.placeholderText.endsWith("••••cdef"));
        verify(key.placeholderText.indexOf("0123456789ab") < 0);
        verify(key.Accessible.description.indexOf("0123456789ab") < 0);
        compare(key.echoMode, TextInput.Password);

        // Check: what is typed is stored first, then the account is checked.
        findChild(dialog, "speechKey").text = "fedcba9876543210fedcba9876543210";
        mouseClick(findChild(dialog, "checkAccount"));
        compare(fixture.account.named("setKey").pop().args[0], "speech");
        compare(fixture.account.named("check").length, 1);
        wind.forwardMessage("ACCOUNTCHECK", {
            "translation": {"result": "wrongRegion", "status": 200, "code": "", "region": "westeurope"},
            "speech": {"result": "keyRejected", "status": 401, "code": "401", "region": ""}
        });
        const speechLine = findChild(dialog, "speechCheck");
        const translationLine = findChild(dialog, "translationCheck");
        compare(speechLine.text, "label 31: label 38 (401)");
        compare(translationLine.text, "label 32: label 39: westeurope");
        verify(findChild(dialog, "checkAccount").enabled);
    }

    function test_account_panel_changes_mode_and_region() {
        wind.forwardMessage("SERVICE", {"mode": "offline", "state": "ready", "secure": false, "speechRegion": "",
                               "automaticRegion": "eastus", "translatorRegion": "", "keys": {}, "capabilities": {}});
        // Reached from the settings.
        const options = wind.panelFor("Options", wind);
        options.open();
        tryVerify(() => options.opened);
        compare(findChild(options, "accountSummary").text, "label 28");
        mouseClick(findChild(options, "openAccount"));
        const dialog = panel("Account");
        tryVerify(() => dialog.opened);
        verify(findChild(dialog, "offlineMode").checked);
        mouseClick(findChild(dialog, "cloudMode"));
        compare(fixture.account.named("setMode").pop().args, ["cloud"]);
        const region = findChild(dialog, "speechRegion");
        compare(region.currentIndex, 0);
        compare(region.displayText, "label 30 (eastus)");
        region.activated(2);
        compare(fixture.account.named("setSpeechRegion").pop().args, ["northeurope"]);
        region.activated(0);
        compare(fixture.account.named("setSpeechRegion").pop().args, [""]);
        // Keys kept for this run only: said so.
        verify(findChild(dialog, "insecureStore").visible);
        const translatorRegion = findChild(dialog, "translatorRegion");
        translatorRegion.text = " WestEurope ";
        translatorRegion.editingFinished();
        compare(fixture.account.named("setTranslatorRegion").pop().args, ["westeurope"]);
    }
}
