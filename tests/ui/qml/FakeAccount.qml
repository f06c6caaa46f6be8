import QtQuick

// Stands in for the service account: records every call; a test reports
// state to the window as the real one does, with "SERVICE" messages.
QtObject {
    property var calls: []
    property var gaps: []

    function record(name, args) {
        calls.push({
            "name": name,
            "args": Array.prototype.slice.call(args)
        });
    }
    function named(name) {
        return calls.filter(c => c.name === name);
    }
    function init() {
        record("init", arguments);
    }
    function setMode(mode) {
        record("setMode", arguments);
    }
    function setSpeechRegion(region) {
        record("setSpeechRegion", arguments);
    }
    function setTranslatorRegion(region) {
        record("setTranslatorRegion", arguments);
    }
    function setKey(name, key) {
        record("setKey", arguments);
    }
    function check() {
        record("check", arguments);
    }
    function speechRegions() {
        return ["westeurope", "northeurope", "eastus"];
    }
    function offlineGaps(source, destination) {
        record("offlineGaps", arguments);
        return gaps;
    }
}
