pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls.Material

// Closes by itself 750 ms after each opening.
Popup {
    id: popup

    objectName: "Warning"

    anchors.centerIn: Overlay.overlay
    onOpened: closer.restart()

    Inline.Icon {
        name: "alert"
        foreground: "orange"
        width: 64
        height: 64
        icon.width: 64
        icon.height: 64
    }

    Timer {
        id: closer

        interval: 750
        onTriggered: popup.close()
    }
}
