pragma ComponentBehavior: Bound

import QtQuick

// Drop shadow of the elevated Material controls, used as their layer effect:
// one quad per shadow layer, each shaded by rectangularshade.frag, with the
// source drawn over them. No offscreen pass besides the control's own layer.
Item {
    id: effect

    property int elevation: 0
    property int maxElevation: 12
    required property Item source
    // Set by the style for full-width bars; every layer is drawn the same way.
    property bool fullWidth: false
    required property real roundedScale

    Repeater {
        // `wind` is the main window, reached by name through the context chain:
        // the style creates this effect inside the window's controls.
        model: wind.helper.getShadow(effect.elevation, effect.maxElevation) // qmllint disable unqualified

        ShaderEffect {
            required property real opacityLevel
            required property real padding
            required property real spread
            required property real offset
            required property real blur
            readonly property real radius: effect.roundedScale

            x: -padding / 2
            y: -padding / 2 + offset
            width: effect.width + padding
            height: effect.height + padding
            opacity: opacityLevel
            supportsAtlasTextures: true
            fragmentShader: "qrc:/effects/shadow/rectangularshade.frag.qsb"
        }
    }

    // The default shader of ShaderEffect samples `source`: the control itself.
    ShaderEffect {
        readonly property alias source: effect.source

        anchors.fill: parent
    }
}
