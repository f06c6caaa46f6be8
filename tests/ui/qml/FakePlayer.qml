import QtQuick

// Stands in for the player: records every call.
FakeTts {
    function stop() {
        record("stop", arguments);
    }
    function play() {
        record("play", arguments);
    }
    function bip() {
        record("bip", arguments);
    }
    function setAppVolume(v) {
        record("setAppVolume", arguments);
    }
    function setSpeechVolume(v) {
        record("setSpeechVolume", arguments);
    }
    function init(speechVolume, appVolume) {
        record("init", arguments);
    }
}
