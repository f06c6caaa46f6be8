pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls.Material

// Shown while a recognition is in flight; reads wind by name.
BusyIndicator {
    objectName: "Busy"
    visible: false
    running: visible
    anchors.centerIn: Overlay.overlay
    Material.accent: wind.isLight ? "darkorange" : "gray"
}
