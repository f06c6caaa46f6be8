import QtQuick

// Stands in for the global hold-to-talk key: records every call and answers
// with the status a test sets.
FakeTts {
    property string currentStatus: "off"

    function setKey(text) {
        record("setKey", arguments);
        currentStatus = text.length > 0 ? "bound" : "off";
        return text.length > 0;
    }
    function disable() {
        record("disable", arguments);
        currentStatus = "off";
    }
    function status() {
        return currentStatus;
    }
    function backend() {
        return "scripted";
    }
    // Ctrl, Alt and a letter make a combination; a modifier alone none.
    function keyText(key, modifiers) {
        if (key === Qt.Key_Control || key === Qt.Key_Alt || key === Qt.Key_Shift || key === Qt.Key_Meta)
            return "";
        let text = "";
        if (modifiers & Qt.ControlModifier)
            text += "Ctrl+";
        if (modifiers & Qt.AltModifier)
            text += "Alt+";
        return text + String.fromCharCode(key);
    }
    function shownText(text) {
        return "shown " + text;
    }
}
