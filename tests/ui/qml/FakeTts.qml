import QtQuick

// Stands in for the cloud client: records every call.
QtObject {
    property var calls: []
    // Replies that replay() finds, by text + "|" + voice + "|" + language.
    property var cached: ({})

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
    // The languages in force, as the last calls left them.
    property string speechLanguage: ""
    property string transcribeLanguage: ""

    function setSpeechLanguage(lang) {
        record("setSpeechLanguage", arguments);
        speechLanguage = lang;
    }
    function setFastTranscribe(lang) {
        record("setFastTranscribe", arguments);
        transcribeLanguage = lang;
    }
    function setSpeakingRate(rate) {
        record("setSpeakingRate", arguments);
    }
    function replay(text, voice, language) {
        record("replay", arguments);
        return cached[text + "|" + voice + "|" + language] === true;
    }
}
