pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls.Material

// Replays or stops the spoken translation; reads wind by name.
Button {
    id: button

    objectName: "RepeatBt"

    property bool isPlaying: false

    z: 1
    flat: true
    background: Item {}
    anchors.verticalCenter: parent ? parent.verticalCenter : undefined
    visible: wind.hasVoice
    icon.source: button.isPlaying ? "qrc:/icons/material/stop.png" : "qrc:/icons/material/play.png"
    icon.width: button.isPlaying ? 32 : 28
    icon.height: button.isPlaying ? 32 : 28
    Accessible.name: Tol.lang(Tol.Label.voice)
    ToolTip.text: Tol.lang(Tol.Label.voice)
    ToolTip.visible: hovered
    ToolTip.delay: 600
    onPressed: {
        if (button.isPlaying)
            wind.player.stop();
        else
            wind.player.play();
    }
}
