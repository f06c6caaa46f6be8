pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls.Material

ApplicationWindow {
    id: wind

    required property var tts
    required property var helper
    required property var player
    required property var recorder

    // Whether the window was already visible when its completion handler ran.
    property bool visibleAtCompletion: false

    // Called by the native side for every message; see tolka.js.
    function forwardMessage(tag: string, value: var): void {
        Tol.sortMessages(tag, value);
    }

    title: "Tolka"
    width: 420
    height: 720
    minimumWidth: 360
    minimumHeight: 640

    Material.theme: Material.Light
    Material.accent: Material.Teal

    Component.onCompleted: {
        wind.visibleAtCompletion = wind.visible;
        wind.tts.init();
        wind.recorder.init();
        wind.player.init();
    }

    Label {
        anchors.centerIn: parent
        text: Application.name + " " + Application.version
        font.pixelSize: 24
    }
}
