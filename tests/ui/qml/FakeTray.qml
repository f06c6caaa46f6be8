import QtQuick

// Stands in for the tray icon: a desktop with a tray that records calls.
FakeTts {
    property bool hasTray: true

    function available() {
        return hasTray;
    }
    function show(window, texts) {
        record("show", arguments);
        return hasTray;
    }
    function remove() {
        record("remove", arguments);
    }
    function setActivity(activity) {
        record("setActivity", arguments);
    }
    function setConversation(on) {
        record("setConversation", arguments);
    }
    function shown() {
        return hasTray;
    }
}
