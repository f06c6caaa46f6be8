pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls.Material

// The service could not be reached after every attempt. Closes by itself
// a few seconds after each opening, or at a click.
Popup {
    id: popup

    objectName: "Warning"

    anchors.centerIn: Overlay.overlay
    width: Math.min(wind.width * 0.8, Math.max(words.implicitWidth, 64) + leftPadding + rightPadding)
    onOpened: closer.restart()

    Column {
        width: popup.availableWidth
        Accessible.role: Accessible.AlertMessage
        Accessible.name: words.text
        spacing: wind.font.pixelSize / 2

        Inline.Icon {
            name: "alert"
            foreground: "orange"
            anchors.horizontalCenter: parent.horizontalCenter
            icon.width: 64
            icon.height: 64
            Accessible.ignored: true
        }

        Label {
            id: words

            objectName: "warningText"

            width: parent.width
            text: Tol.lang(Tol.Label.serviceUnreachable)
            textFormat: Text.PlainText
            wrapMode: Text.Wrap
            font.bold: true
            horizontalAlignment: Text.AlignHCenter
        }
    }

    MouseArea {
        parent: popup.background
        anchors.fill: parent
        onClicked: popup.close()
    }

    Timer {
        id: closer

        interval: 4000
        onTriggered: popup.close()
    }
}
