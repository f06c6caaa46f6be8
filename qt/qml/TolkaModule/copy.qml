pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls.Material

// "Translation copied" notice, inverted against the window; closes by itself
// 750 ms after each opening. Reads wind and appTitle by name.
Popup {
    id: popup

    objectName: "Copy"

    anchors.centerIn: Overlay.overlay
    background: Rectangle {
        color: popup.Material.primary
        radius: 4
    }
    onOpened: closer.restart()
    Component.onCompleted: popup.font.pixelSize *= 1.3

    Label {
        text: Tol.lang(Tol.Label.translationCopied)
        font.bold: true
        textFormat: Text.PlainText
        font.pixelSize: appTitle.font.pixelSize
        color: wind.isLight ? "white" : "black"
    }

    Timer {
        id: closer

        interval: 750
        onTriggered: popup.close()
    }
}
