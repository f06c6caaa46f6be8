// Controller of the main window and its panels. Every document that uses it
// has its own copy; names such as wind, clangsource or micArea are the main
// window's ids, reached through the scope of the document that uses the copy.

// The catalogue's interface labels by name; the numbers are the catalogue's ids.
var Label = ({
    aboutTitle: 0,
    speechRecognition: 1,
    settings: 2,
    visitUs: 3,
    makerAddress: 4,
    voice: 5,
    donate: 6,
    application: 7,
    contributors: 8,
    email: 9,
    website: 10,
    theme: 11,
    seconds: 12,
    clearScreen: 13,
    voices: 14,
    light: 15,
    dark: 16,
    customWallpaper: 17,
    clearBackground: 18,
    pasteClipboard: 19,
    copyTranslation: 20,
    translationCopied: 21,
    lastTranslations: 22,
    sounds: 23,
    lowLatency: 24,
    standardQuality: 25,
    serviceAccount: 26,
    cloud: 27,
    offline: 28,
    speechRegion: 29,
    automatic: 30,
    speechKey: 31,
    translatorKey: 32,
    translatorRegion: 33,
    backupKeys: 34,
    check: 35,
    translation: 36,
    working: 37,
    keyRejected: 38,
    wrongRegion: 39,
    noNetwork: 40,
    quotaUsedUp: 41,
    insecureStore: 42,
    serviceUnreachable: 43,
    keyRefused: 44,
    throttled: 45,
    languageNotOffered: 46,
    notOffline: 47,
    nothingRecognised: 48,
    noMicrophone: 49,
    noSoundOutput: 50,
    offlineFailed: 51,
    nothingToTranslate: 52,
    lengthLimit: 53,
    requestRefused: 54,
    offlineStarting: 55,
    microphoneLost: 56,
    outputLost: 57,
    deviceInUse: 58,
    microphoneBlocked: 59,
    privacySettings: 60,
    conversation: 61,
    transcript: 62,
    copy: 63,
    copyAll: 64,
    exportTranscript: 65,
    plainText: 66,
    markdown: 67,
    csvTable: 68,
    timedText: 69,
    clearTranscript: 70,
    clearTranscriptQuestion: 71,
    clear: 72,
    cancel: 73,
    speakingRate: 74,
    copied: 75,
    savedTo: 76,
    couldNotSave: 77,
    transcriptEmpty: 78,
    voiceFor: 79,
    desktop: 80,
    holdToTalkKey: 81,
    pressNewKey: 82,
    bringToFront: 83,
    alwaysOnTop: 84,
    closeToTray: 85,
    show: 86,
    hide: 87,
    quit: 88,
    recording: 89,
    speaking: 90,
    noGlobalShortcuts: 91,
    keyTaken: 92,
    shortcutRefused: 93,
    keyUnusable: 94,
    speechUnplayable: 95,
});

// Panels made so far by this copy, by type name.
var panels = ({});

// Restores the window geometry and brings it back onto a screen when the
// stored place lies off every screen (a monitor was unplugged).
function init() {
    if (!wind.isDesktop) {
        wind.flags |= Qt.ExpandedClientAreaHint | Qt.NoTitleBarBackgroundHint;
        return;
    }
    const h = wind.height;
    const w = wind.width;
    wind.y = Number(settings.value("y", (h - 600) / 2));
    wind.x = Number(settings.value("x", (w - 400) / 2));
    wind.height = Number(settings.value("height", 600));
    wind.width = Number(settings.value("width", 400));
    keepOnScreen();
}

function keepOnScreen() {
    const screens = Qt.application.screens;
    if (screens.length === 0)
        return;
    const margin = 48;
    for (let i = 0; i < screens.length; ++i) {
        const s = screens[i];
        const left = s.virtualX;
        const top = s.virtualY;
        if (wind.x + wind.width > left + margin && wind.x < left + s.width - margin && wind.y + margin > top && wind.y < top + s.height - margin)
            return;
    }
    const primary = screens[0];
    wind.width = Math.min(wind.width, primary.desktopAvailableWidth);
    wind.height = Math.min(wind.height, primary.desktopAvailableHeight);
    wind.x = primary.virtualX + (primary.desktopAvailableWidth - wind.width) / 2;
    wind.y = primary.virtualY + (primary.desktopAvailableHeight - wind.height) / 2;
}

function storeGeometry() {
    if (!wind.isDesktop)
        return;
    settings.setValue("x", wind.x);
    settings.setValue("y", wind.y);
    settings.setValue("width", wind.width);
    settings.setValue("height", wind.height);
}

function isKnownLanguage(code) {
    return wind.helper.findLocaleIndex(code) < wind.languageModel.length;
}

// A stored code the catalogue does not know falls back to the default.
function sourceLanguageChanged() {
    if (!isKnownLanguage(clangsource.currentLang) && clangsource.currentLang !== wind.defaultSourceLang) {
        clangsource.currentLang = wind.defaultSourceLang;
        return;
    }
    if (wind.turn !== "forward")
        setDirection("forward");
    else
        wind.tts.setFastTranscribe(clangsource.currentLang);
    sortSourceVoices(clangsource.currentLang);
    offlineLanguagesCheck();
}

function destLanguageChanged() {
    if (!isKnownLanguage(clangdest.currentLang) && clangdest.currentLang !== wind.defaultDestLang) {
        clangdest.currentLang = wind.defaultDestLang;
        return;
    }
    if (wind.turn !== "forward")
        setDirection("forward");
    sortvoices(clangdest.currentLang);
    offlineLanguagesCheck();
}

// Applies both boxes' languages once everything is restored, whether or not
// their change handlers already ran.
function settleLanguages() {
    sourceLanguageChanged();
    destLanguageChanged();
    wind.tts.setSpeakingRate(wind.speechRate);
}

function speechReceived(im, save = true) {
    if (im !== undefined && im !== null && String(im).trim().length > 0) {
        clearScreen();
        inputField().text = im;
        translate(save, String(im));
    } else {
        notify(lang(Label.nothingRecognised));
    }
}

function translate(save = true, text = textToTranslateField.text) {
    if (text.length === 0)
        return;
    // Blanks only: nothing a service could translate.
    if (text.trim().length === 0) {
        notify(lang(Label.nothingToTranslate));
        return;
    }
    wind.player.stop();
    // Only new inputs become exchanges of the transcript, not replays.
    beginExchange(save ? text : "");
    if (clangsource.currentIndex === clangdest.currentIndex)
        dispatchText(text);
    else
        wind.tts.ttrad(text);
    if (save && wind.historyEnabled)
        wind.historyModel = wind.helper.sortHistory(wind.historyModel, text);
}

// What the user typed, pasted or tapped the title for goes from the first
// language to the second.
function translateField() {
    setDirection("forward");
    translate();
}

function validatedText() {
    translateField();
    textToTranslateField.selectAll();
    textToTranslateField.forceActiveFocus();
}

function swapLang() {
    [clangsource.currentLang, clangdest.currentLang] = [clangdest.currentLang, clangsource.currentLang];
}

function startRecording() {
    wind.player.stop();
    wind.recorder.vstart(wind.onCloudSpeech);
}

function onRecording() {
    getPanel("TimerLabel", timerContainer).visible = true;
}

// Hides the countdown; with isRecording true also stops the recording.
function stopRecording(isRecording = false) {
    if (isRecording)
        wind.recorder.vstop(wind.onCloudSpeech);
    getPanel("TimerLabel", timerContainer).visible = false;
}

// The microphone was held long enough: prompt first, or record at once.
function micHeld() {
    if (wind.hasBip && wind.onCloudSpeech)
        wind.player.bip();
    else
        startRecording();
    micArea.isPressed = true;
}

function micReleased() {
    stopRecording(micArea.isPressed);
    micArea.isPressed = false;
}

// Conversation ---------------------------------------------------------------

// Points recognition, translation and synthesis one way or the other: the
// cloud client reads its languages when each request is sent. Forward is
// what the language boxes' change handlers set, so only a change of way
// needs telling.
function setDirection(direction) {
    const backward = direction === "backward";
    if (wind.turn === (backward ? "backward" : "forward"))
        return;
    wind.turn = backward ? "backward" : "forward";
    wind.tts.setFastTranscribe(backward ? clangdest.currentLang : clangsource.currentLang);
    wind.tts.setSpeechLanguage(backward ? clangsource.currentLang : clangdest.currentLang);
}

function turnBackward() {
    return wind.turn === "backward";
}

// The voice of the language the current turn is spoken in.
function turnVoice() {
    return turnBackward() ? wind.sourceShortName : wind.currentShortName;
}

// Each field holds its own language: a backward turn is heard in the
// destination field and answered in the source field.
function inputField() {
    return turnBackward() ? translatedTextField : textToTranslateField;
}

function outputField() {
    return turnBackward() ? textToTranslateField : translatedTextField;
}

function setConversation(on) {
    wind.conversation = on;
    if (!on && turnBackward())
        setDirection("forward");
    if (on)
        talkKeys.forceActiveFocus();
}

// A conversation button or key was held 120 ms: that side's turn.
function talkHeld(side) {
    if (!wind.conversation || (side !== "forward" && side !== "backward"))
        return;
    setDirection(side);
    talkKeys.forceActiveFocus();
    micHeld();
}

function talkKeyPressed(event) {
    if (!wind.conversation || event.key !== Qt.Key_Space)
        return;
    event.accepted = true;
    if (event.isAutoRepeat || talkKeys.side.length > 0)
        return;
    talkKeys.side = (event.modifiers & Qt.ShiftModifier) ? "backward" : "forward";
    talkKeyHold.restart();
}

function talkKeyReleased(event) {
    if (event.key !== Qt.Key_Space || talkKeys.side.length === 0)
        return;
    event.accepted = true;
    if (event.isAutoRepeat)
        return;
    talkKeys.side = "";
    talkKeyHold.stop();
    micReleased();
}

// A language's short name in the interface language, without its region
// ("English" for "English (United States)"), for the conversation buttons.
function shortLanguageName(code) {
    const index = wind.helper.findLocaleIndex(code);
    const shown = index < wind.languageModel.length ? String(wind.languageModel[index]) : String(code);
    const short = shown.replace(/\s*[(（].*$/, "");
    return short.length > 0 ? short : shown;
}

// The voices of a language, or nothing when the list held is the same one
// (a stored choice then survives).
function newVoices(language, heldNames) {
    const extracted = wind.helper.extractVoices(language);
    const tempVoices = extracted.tempVoices ?? [];
    const tempNames = extracted.tempNames ?? [];
    if (wind.helper.compare(heldNames, tempNames))
        return null;
    return {
        "voices": tempVoices,
        "names": tempNames,
        "voice": tempVoices.length > 0 ? tempVoices[0] : "",
        "name": tempNames.length > 0 ? tempNames[0] : ""
    };
}

// The source language's voices, chosen as the destination's are.
function sortSourceVoices(language) {
    const chosen = newVoices(language, wind.sourceShortNames);
    if (!chosen)
        return;
    wind.sourceVoices = chosen.voices;
    wind.sourceShortNames = chosen.names;
    wind.sourceVoice = chosen.voice;
    wind.sourceShortName = chosen.name;
}

function setSpeechRate(rate) {
    wind.speechRate = Math.round(Math.min(1.5, Math.max(0.5, Number(rate))) * 20) / 20;
    wind.tts.setSpeakingRate(wind.speechRate);
}

// Exchanges and the transcript ---------------------------------------------------

// The input on its way to a translation; empty for a replay.
var pendingExchange = null;

function beginExchange(text) {
    if (text.length === 0) {
        pendingExchange = null;
        return;
    }
    const backward = turnBackward();
    pendingExchange = {
        "time": new Date().toISOString(),
        "direction": wind.turn,
        "sourceLanguage": backward ? clangdest.currentLang : clangsource.currentLang,
        "targetLanguage": backward ? clangsource.currentLang : clangdest.currentLang,
        "sourceText": text
    };
}

function completeExchange(translation) {
    const entry = pendingExchange;
    pendingExchange = null;
    if (!entry)
        return;
    entry.translation = translation;
    entry.voice = wind.hasVoice ? turnVoice() : "";
    wind.transcriptModel = wind.transcriptModel.concat([entry]);
    if (wind.historyEnabled && wind.transcript)
        wind.transcript.append(entry);
    if (wind.historyModel.indexOf(entry.sourceText) >= 0) {
        const details = {};
        for (const text of wind.historyModel) {
            if (wind.historyDetails[text] !== undefined)
                details[text] = wind.historyDetails[text];
        }
        details[entry.sourceText] = {
            "translation": translation,
            "from": entry.sourceLanguage,
            "to": entry.targetLanguage
        };
        wind.historyDetails = details;
    }
}

function loadTranscript() {
    if (wind.transcript && wind.historyEnabled)
        wind.transcriptModel = wind.transcript.load(1000).concat(wind.transcriptModel);
}

// The direction that goes from one language to the other with the boxes as
// they are, or "" when they have changed since.
function directionOf(from, to) {
    if (from === clangsource.currentLang && to === clangdest.currentLang)
        return "forward";
    if (from === clangdest.currentLang && to === clangsource.currentLang)
        return "backward";
    return "";
}

// A history entry picked: shown with its translation at once and spoken
// from the cache of earlier replies; translated again when its translation
// or its speech is not at hand.
function replayHistory(text) {
    const details = wind.historyDetails[text];
    const direction = details ? directionOf(details.from, details.to) : "";
    if (direction.length === 0) {
        setDirection("forward");
        speechReceived(text, false);
        return;
    }
    setDirection(direction);
    wind.player.stop();
    if (wind.hasVoice && !wind.tts.replay(details.translation, turnVoice(), details.to)) {
        speechReceived(text, false);
        return;
    }
    clearScreen();
    inputField().text = text;
    outputField().text = details.translation;
}

// The transcript as text of one kind ("text", "markdown", "csv", "srt").
function transcriptText(entries, kind) {
    if (wind.transcript)
        return wind.transcript.format(entries, kind);
    return entries.map(e => e.sourceText + "\n" + e.translation).join("\n\n");
}

function clearTranscript() {
    wind.transcriptModel = [];
    if (wind.transcript)
        wind.transcript.clear();
}

function dispatchText(translatedText) {
    if (translatedText === undefined || translatedText === null)
        return;
    const text = String(translatedText);
    if (text.length === 0)
        return;
    outputField().text = text;
    if (wind.hasVoice)
        wind.tts.tvoice(text, turnVoice());
    completeExchange(text);
}

function sortvoices(language) {
    wind.tts.setSpeechLanguage(language);
    const chosen = newVoices(language, wind.shortNames);
    if (!chosen)
        return;
    wind.voices = chosen.voices;
    wind.shortNames = chosen.names;
    wind.currentVoice = chosen.voice;
    wind.currentShortName = chosen.name;
}

function clearScreen() {
    textToTranslateField.clear();
    translatedTextField.clear();
}

function getClipboard() {
    clearScreen();
    textToTranslateField.paste();
    if (textToTranslateField.text.length > 0)
        validatedText();
}

function setClipboard() {
    if (translatedTextField.text.length === 0)
        return;
    translatedTextField.selectAll();
    translatedTextField.copy();
    translatedTextField.deselect();
    open("Copy");
}

function sortMessages(tag, value) {
    switch (tag) {
    case "TRAD":
        dispatchText(value);
        break;
    case "SPEECH":
        speechReceived(value);
        break;
    case "ISPLAYING":
        getPanel("RepeatBt", toolbar).isPlaying = value;
        wind.speaking = Boolean(value);
        break;
    case "PARTIALSPEECHRESULT":
        clearScreen();
        textToTranslateField.text = value;
        break;
    case "WARNING":
        getPanel("Busy").visible = false;
        open("Warning");
        break;
    case "ERROR":
        getPanel("Busy").visible = false;
        failureNotice(value);
        break;
    case "AUDIOERROR":
        getPanel("Busy").visible = false;
        audioNotice(value);
        break;
    case "SERVICE":
        serviceChanged(value);
        break;
    case "ACCOUNTCHECK":
        getPanel("Account").showResults(value);
        break;
    case "BUSY":
        getPanel("Busy").visible = value;
        break;
    case "HASPEECHSERVICE":
        if (!value)
            wind.onCloudSpeech = true;
        else if (!wind.hasSpeechService)
            wind.onCloudSpeech = false;
        wind.hasSpeechService = value;
        break;
    case "ISBIP":
        if (micArea.isPressed)
            startRecording();
        break;
    case "RECORDINGSTARTED":
        onRecording();
        break;
    case "FIRSTFRAME":
        releaseHeldBack();
        break;
    default:
        Desk.sortMessages(tag, value);
        break;
    }
}

// A short message above the toolbar, with an action where one helps.
function notify(text, actionText = "", action = null) {
    getPanel("Notice").show(text, actionText, action);
}

// Where Windows lets the user turn the microphone back on for applications.
var privacySettingsUrl = "ms-settings:privacy-microphone";

// What a failed sound device means for the user ("AUDIOERROR" values name
// the device and, where known, the reason).
function audioNotice(error) {
    const output = error.device === "output";
    switch (error.reason) {
    case "lost":
        notify(lang(output ? Label.outputLost : Label.microphoneLost));
        break;
    case "inUse":
        notify(lang(Label.deviceInUse));
        break;
    case "permission":
        if (Qt.platform.os === "windows")
            notify(lang(Label.microphoneBlocked), lang(Label.privacySettings),
                   () => Qt.openUrlExternally(privacySettingsUrl));
        else
            notify(lang(Label.microphoneBlocked));
        break;
    default:
        notify(lang(output ? Label.noSoundOutput : Label.noMicrophone));
        break;
    }
}

function openAccount() {
    open("Account");
}

// What a failed request means for the user, in words ("ERROR" values name
// the service, the class of failure and the service's code).
function failureNotice(error) {
    const offline = wind.service.mode === "offline";
    switch (error.failure) {
    case "keyRejected":
        notify(lang(Label.keyRefused), lang(Label.serviceAccount), openAccount);
        break;
    case "throttled":
        notify(lang(Label.throttled).replace("%1", String(Math.max(1, Math.ceil((error.wait ?? 0) / 1000)))));
        break;
    case "nothingRecognised":
        notify(lang(Label.nothingRecognised));
        break;
    case "tooLarge":
        notify(lang(error.service === "synthesis" ? Label.speechUnplayable : Label.serviceUnreachable));
        break;
    case "badRequest":
        if (isLanguageRefusal(error))
            notify(offline ? lang(Label.notOffline).replace("%1", serviceWord(error.service)) : lang(Label.languageNotOffered));
        else
            notify(lang(Label.requestRefused).replace("%1", error.code || String(error.status)));
        break;
    default:
        // Audio that is not speech came from a service that answered.
        notify(lang(error.code === "undecodable" ? Label.speechUnplayable : Label.serviceUnreachable));
    }
}

// The translator's codes for languages it does not take; for speech, a
// voice or locale the service lacks.
function isLanguageRefusal(error) {
    if (error.service === "translation")
        return ["400019", "400023", "400035", "400036"].includes(String(error.code));
    return error.service === "synthesis" && wind.service.mode === "offline";
}

function serviceWord(service) {
    if (service === "translation")
        return lang(Label.translation);
    return service === "synthesis" ? lang(Label.voice) : lang(Label.speechRecognition);
}

// A check result in words.
function checkWords(result) {
    switch (result.result) {
    case "working":
        return lang(Label.working);
    case "keyRejected":
        return lang(Label.keyRejected) + (result.code ? " (" + result.code + ")" : "");
    case "wrongRegion":
        return lang(Label.wrongRegion) + ": " + (result.region.length > 0 ? result.region : "global");
    case "noNetwork":
        return lang(Label.noNetwork);
    case "quotaUsedUp":
        return lang(Label.quotaUsedUp) + (result.code ? " (" + result.code + ")" : "");
    default:
        return lang(Label.requestRefused).replace("%1", result.code || String(result.status));
    }
}

// The account or the offline engines changed.
function serviceChanged(state) {
    const before = wind.service;
    wind.service = state;
    if (state.state !== "starting")
        offlineStartingNotice.stop();
    if (state.mode !== "offline")
        return;
    if (state.state === "failed" && before.state !== "failed")
        notify(lang(Label.offlineFailed), lang(Label.serviceAccount), openAccount);
    else if (state.state === "starting" && before.state !== "starting")
        offlineStartingNotice.restart();
    else if (state.state === "ready" && Object.keys(state.capabilities ?? {}).length > 0 && Object.keys(before.capabilities ?? {}).length === 0)
        offlineLanguagesCheck();
}

// Offline, some languages lack recognition, a translation or a voice: say
// which, when they are chosen.
function offlineLanguagesCheck() {
    if (wind.service.mode !== "offline")
        return;
    const gaps = wind.account.offlineGaps(clangsource.currentLang, clangdest.currentLang);
    if (gaps.length === 0)
        return;
    const words = gaps.map(g => g === "recognition" ? lang(Label.speechRecognition) : g === "translation" ? lang(Label.translation) : lang(Label.voice));
    notify(lang(Label.notOffline).replace("%1", words.join(", ")));
}

// The source field holds at most 1000 characters: say so when it is full.
function sourceLengthChanged() {
    if (textToTranslateField.length >= textToTranslateField.maximumLength)
        notify(lang(Label.lengthLimit));
}

function open(panel) {
    if (panel)
        getPanel(panel).open();
}

// Every copy of this script asks the main window, so each panel exists once
// (the history drawer prepared at start-up included), whoever opens it.
function getPanel(panel, root = wind) {
    return wind.panelFor(panel, root);
}

// The main window's copy: makes a panel on first use and keeps it.
function makePanel(panel, root) {
    if (!panels[panel]) {
        const component = Qt.createComponent("TolkaModule", panel, Component.PreferSynchronous, root);
        if (component.status !== Component.Ready) {
            console.warn("cannot create", panel + ":", component.errorString());
            return null;
        }
        panels[panel] = component.createObject(root);
    }
    return panels[panel];
}

// Background work still running for this window, finished at its destruction.
var pendingIncubators = [];
var pendingComponents = [];
var closing = false;

// The module's files are named after their types with a lower-case initial.
function panelFile(panel) {
    return Qt.resolvedUrl(panel.charAt(0).toLowerCase() + panel.slice(1) + ".qml");
}

// Work held back until the window's first frame is on screen, so that it
// does not compete with that frame for the processor: run on "FIRSTFRAME"
// (the start-up's first-frame gate opened), or when firstFrameLimit runs out
// for a window that has no such gate (one made by a test, say).
var heldBack = [];

function afterFirstFrame(work) {
    heldBack.push(work);
    if (!firstFrameLimit.running)
        firstFrameLimit.start();
}

function releaseHeldBack() {
    firstFrameLimit.stop();
    const works = heldBack;
    heldBack = [];
    if (!closing)
        works.forEach(work => work());
}

// Builds a panel in the background; a synchronous getPanel that came first wins.
function asyncLoading(panel) {
    // Not parented to the window: a component destroyed with the window while
    // its asynchronous load is still queued would be used after it is freed.
    // Loaded by file, not by module and type name: Qt 6.11 can finish an
    // asynchronous load by type name as if the type were a C++ one, and the
    // incubation then crashes on the object it failed to create.
    const component = Qt.createComponent(panelFile(panel), Component.Asynchronous, null);
    pendingComponents.push(component);
    const incubate = () => {
        if (closing)
            return;
        const incubator = component.incubateObject(wind);
        const keep = () => {
            pendingIncubators = pendingIncubators.filter(i => i !== incubator);
            if (panels[panel] || closing)
                incubator.object.destroy();
            else
                panels[panel] = incubator.object;
        };
        if (incubator.status === Component.Ready) {
            keep();
        } else {
            pendingIncubators.push(incubator);
            incubator.onStatusChanged = status => {
                if (status === Component.Ready)
                    keep();
            };
        }
    };
    if (component.status === Component.Ready)
        incubate();
    else
        component.statusChanged.connect(status => {
            if (status === Component.Ready)
                incubate();
        });
}

// The window is going: nothing may be built for it any more.
function windowClosing() {
    closing = true;
    for (const incubator of pendingIncubators)
        incubator.forceCompletion();
    pendingIncubators = [];
    storeGeometry();
}

function lang(labelId) {
    return String(wind.helper.getBaseLabel(labelId));
}

// The countdown reached zero: the recording stops for real, the countdown
// hides (which stops its timer) and the coming release sends no second stop.
function countdownEnded(label) {
    if (micArea.isPressed)
        wind.recorder.vstop(wind.onCloudSpeech);
    micArea.isPressed = false;
    label.visible = false;
}
