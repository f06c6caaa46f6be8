import QtQuick
import QtTest

TestCase {
    name: "HelperFromQml"

    function text(bytes) {
        // QByteArray reaches QML as an ArrayBuffer (or a string).
        if (bytes === null || bytes === undefined)
            return ""
        if (typeof bytes === "string")
            return bytes
        if (bytes.byteLength === 0)
            return ""
        let out = ""
        const view = new Uint8Array(bytes)
        for (let i = 0; i < view.length; ++i)
            out += String.fromCharCode(view[i])
        return out
    }

    function test_unknownVoiceLocale() {
        ignoreWarning(/helper::extractVoices\("xx-XX"\)/)
        const voices = helper.extractVoices("xx-XX")
        compare(Object.keys(voices).length, 0)
    }

    function test_unknownLocaleName() {
        ignoreWarning(/helper::findLocaleValue\("nope"\)/)
        const code = helper.findLocaleValue("nope")
        compare(text(code), "")
    }

    function test_negativeMaximumElevation() {
        ignoreWarning(/helper::getShadow\(1, -1\)/)
        compare(helper.getShadow(1, -1).length, 0)
    }

    function test_stillWorkingAfterwards() {
        compare(helper.findLocaleIndex("xx-XX"), 148)
        compare(helper.findLocaleIndex("af-ZA"), 0)
        compare(text(helper.findLocaleValue("French (France)")), "fr-FR")
        const voices = helper.extractVoices("af-ZA")
        compare(voices.tempNames.length, 2)
        compare(text(voices.tempNames[0]), "af-ZA-AdriNeural")
        const layers = helper.getShadow(3, 12)
        compare(layers.length, 3)
        compare(layers[0].padding, 17.5)
        compare(layers[2].opacityLevel, 0.08)
        verify(helper.isDesktop())
        compare(text(helper.getBaseLabel(96)), "")
        compare(text(helper.getBaseLabel(95)), "The voice's reply could not be played.")
        compare(text(helper.getBaseLabel(94)), "This key cannot be used.")
        compare(text(helper.getBaseLabel(79)), "Voice for %1")
        compare(text(helper.getBaseLabel(26)), "Service account")
        compare(text(helper.getBaseLabel(0)), "About Tolka#")
    }
}
