import QtQuick

// Stands in for the catalogue with a small table of languages and voices,
// following the same rules; records every call.
FakeTts {
    property var codes: ["de-DE", "en-US", "es-ES", "fr-FR", "ja-JP"]
    property var names: ["German (Germany)", "English (United States)", "Spanish (Spain)", "French (France)", "Japanese (Japan)"]
    property string systemLocale: "en-US"
    property var voiceTable: ({
            "de-DE": 2,
            "en-US": 26,
            "es-ES": 20,
            "fr-FR": 5,
            "ja-JP": 21
        })

    function voiceNames(code, prefix) {
        const list = [];
        for (let i = 0; i < voiceTable[code]; ++i)
            list.push(prefix === "" ? code.slice(0, 2) + " voice " + i : code + "-Voice" + i + "Neural");
        return list;
    }
    function getBaseModel() {
        return names;
    }
    function findLocaleIndex(code) {
        const i = codes.indexOf(String(code));
        return i < 0 ? codes.length : i;
    }
    function findLocaleValue(name) {
        return codes[names.indexOf(String(name))];
    }
    function getCurrentLang(languageOnly) {
        return languageOnly ? systemLocale.split("-")[0] : systemLocale;
    }
    function isDesktop() {
        return true;
    }
    function extractVoices(code) {
        record("extractVoices", arguments);
        if (!(code in voiceTable))
            return {};
        return {
            "tempVoices": voiceNames(code, ""),
            "tempNames": voiceNames(code, "short")
        };
    }
    function compare(a, b) {
        return JSON.stringify(Array.from(a)) === JSON.stringify(Array.from(b));
    }
    function sortHistory(list, text) {
        const out = Array.from(list).filter((t, i, all) => t !== text || all.indexOf(text) !== i);
        out.unshift(text);
        return out.slice(0, 10);
    }
    function getBaseLabel(id) {
        return "label " + id;
    }
    function getRawLabel(id) {
        return "raw " + id;
    }
    function getStore(type) {
        return {};
    }
    function contributors() {
        return ["A : code", "B : design"];
    }
    function getShadow(elevation, maxElevation) {
        return [];
    }
}
