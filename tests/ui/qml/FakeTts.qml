import QtQuick

// Stands in for the cloud client: records every call.
QtObject {
    property var calls: []

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
    function ttrad(text) {
        record("ttrad", arguments);
    }
    function tvoice(text, voice) {
        record("tvoice", arguments);
    }
    function setSpeechLanguage(lang) {
        record("setSpeechLanguage", arguments);
    }
    function setFastTranscribe(lang) {
        record("setFastTranscribe", arguments);
    }
}
