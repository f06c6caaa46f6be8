// The desktop around the window: the global hold-to-talk key, the icon in
// the tray and the window's place among the others. Reads wind, micArea and
// holdKeyHold by name, like the controller.

// Set once the window is on screen: the key's grab and the tray's bus
// connection are not needed to show it, and would compete with its first
// frame.
var started = false;
// Whether a key was ever asked for: until then there is nothing to let go.
var asked = false;

function init() {
    applyOnTop();
    Tol.afterFirstFrame(() => {
        started = true;
        applyHoldKey();
        showTray();
    });
}

// Global hold-to-talk key ------------------------------------------------------

// Binds the key the user chose, or lets it go; the outcome comes back as
// "HOLDKEYSTATUS" too (the portal answers later).
function applyHoldKey() {
    if (!started || !wind.hotkey)
        return;
    if (wind.holdKeyOn) {
        asked = true;
        wind.hotkey.setKey(wind.holdKey);
    } else {
        holdKeyUp();
        // Its back end is not even made while no key was asked for.
        if (!asked)
            return;
        wind.hotkey.disable();
    }
    wind.holdKeyStatus = String(wind.hotkey.status());
}

// The words for a status of the native hold key that needs telling, else "".
function holdKeyProblem(status) {
    const labels = {
        unavailable: Tol.Label.noGlobalShortcuts,
        taken: Tol.Label.keyTaken,
        refused: Tol.Label.shortcutRefused,
        invalid: Tol.Label.keyUnusable
    };
    const label = labels[status];
    return label === undefined ? "" : Tol.lang(label);
}

// Key down anywhere on the desktop: the same 120 ms rule as the button. A
// held key reports one press; a second press before the release is ignored.
function holdKeyDown() {
    if (!wind.holdKeyOn || wind.holdKeyDown)
        return;
    wind.holdKeyDown = true;
    if (wind.holdKeyRaises)
        raiseWindow();
    holdKeyHold.restart();
}

// Held long enough: in conversation mode it is the first language's turn.
function holdKeyHeld() {
    if (!wind.holdKeyDown)
        return;
    if (wind.conversation)
        Tol.talkHeld("forward");
    else
        Tol.micHeld();
}

// Released before 120 ms: nothing was started, nothing stops.
function holdKeyUp() {
    if (!wind.holdKeyDown)
        return;
    wind.holdKeyDown = false;
    if (holdKeyHold.running) {
        holdKeyHold.stop();
        return;
    }
    Tol.micReleased();
}

function raiseWindow() {
    if (wind.visibility === Window.Hidden || wind.visibility === Window.Minimized)
        wind.showNormal();
    wind.raise();
    wind.requestActivate();
}

// Tray --------------------------------------------------------------------------

function trayTexts() {
    return {
        show: Tol.lang(Tol.Label.show),
        hide: Tol.lang(Tol.Label.hide),
        conversation: Tol.lang(Tol.Label.conversation),
        quit: Tol.lang(Tol.Label.quit),
        recording: Tol.lang(Tol.Label.recording),
        speaking: Tol.lang(Tol.Label.speaking)
    };
}

function showTray() {
    if (!wind.tray)
        return;
    wind.trayShown = Boolean(wind.tray.show(wind, trayTexts()));
    if (wind.trayShown) {
        wind.tray.setConversation(wind.conversation);
        wind.tray.setActivity(wind.activity);
    }
}

// What the tray icon shows.
function activityChanged() {
    if (wind.trayShown)
        wind.tray.setActivity(wind.activity);
}

function conversationChanged() {
    if (wind.trayShown)
        wind.tray.setConversation(wind.conversation);
}

// With the option on and an icon in the tray, closing only hides the window.
function closing(close) {
    if (!wind.closeToTray || !wind.trayShown)
        return;
    close.accepted = false;
    wind.hide();
}

// Window ------------------------------------------------------------------------

function applyOnTop() {
    if (!wind.isDesktop)
        return;
    const flags = wind.alwaysOnTop ? (wind.flags | Qt.WindowStaysOnTopHint) : (wind.flags & ~Qt.WindowStaysOnTopHint);
    if (flags !== wind.flags)
        wind.flags = flags;
}

function sortMessages(tag, value) {
    switch (tag) {
    case "HOLDKEYDOWN":
        holdKeyDown();
        return true;
    case "HOLDKEYUP":
        holdKeyUp();
        return true;
    case "HOLDKEYSTATUS":
        wind.holdKeyStatus = String(value);
        return true;
    case "TRAYCONVERSATION":
        Tol.setConversation(Boolean(value));
        return true;
    }
    return false;
}
