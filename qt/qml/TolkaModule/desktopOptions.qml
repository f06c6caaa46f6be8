pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls.Material

// The settings of the desktop around the window: the global hold-to-talk
// key, the window above the others, closing to the tray. Reads wind by name.
Column {
    id: section

    objectName: "DesktopOptions"

    property real switchPixelSize: holdKeySwitch.font.pixelSize
    // Waiting for the user to press the new key.
    property bool capturing: false

    component DesktopSwitch: Switch {
        font.pixelSize: section.switchPixelSize
    }

    function captured(event: var): void {
        event.accepted = true;
        if (event.key === Qt.Key_Escape) {
            section.capturing = false;
            return;
        }
        const text = wind.hotkey ? String(wind.hotkey.keyText(event.key, event.modifiers)) : "";
        // A modifier alone is the start of a combination, not a key.
        if (text.length === 0)
            return;
        section.capturing = false;
        wind.holdKey = text;
    }

    Switch {
        id: holdKeySwitch

        objectName: "holdKeySwitch"

        text: Tol.lang(Tol.Label.holdToTalkKey)
        checked: wind.holdKeyOn
        onClicked: wind.holdKeyOn = holdKeySwitch.checked
        Component.onCompleted: font.pixelSize *= 1.2
    }
    Button {
        id: keyButton

        objectName: "holdKeyButton"

        // On the reading side, as the switches above and below.
        x: keyButton.mirrored ? section.width - keyButton.width - holdKeySwitch.leftPadding : holdKeySwitch.leftPadding
        enabled: wind.holdKeyOn && wind.hotkey !== null && wind.holdKeyStatus !== "unavailable"
        text: section.capturing ? Tol.lang(Tol.Label.pressNewKey) : (wind.hotkey ? String(wind.hotkey.shownText(wind.holdKey)) : wind.holdKey)
        Material.elevation: 1
        Accessible.name: Tol.lang(Tol.Label.holdToTalkKey) + " " + keyButton.text
        onClicked: {
            section.capturing = true;
            keyButton.forceActiveFocus();
        }
        onActiveFocusChanged: {
            if (!keyButton.activeFocus)
                section.capturing = false;
        }
        Keys.onPressed: event => {
            if (section.capturing)
                section.captured(event);
        }
    }
    Label {
        objectName: "holdKeyProblem"

        width: Math.max(keyButton.width, section.width)
        visible: wind.holdKeyOn && text.length > 0
        text: Desk.holdKeyProblem(wind.holdKeyStatus)
        textFormat: Text.PlainText
        wrapMode: Text.Wrap
        color: "darkorange"
    }
    DesktopSwitch {
        objectName: "holdKeyRaisesSwitch"

        enabled: wind.holdKeyOn
        text: Tol.lang(Tol.Label.bringToFront)
        checked: wind.holdKeyRaises
        onClicked: wind.holdKeyRaises = checked
    }
    DesktopSwitch {
        objectName: "alwaysOnTopSwitch"

        text: Tol.lang(Tol.Label.alwaysOnTop)
        checked: wind.alwaysOnTop
        onClicked: wind.alwaysOnTop = checked
    }
    DesktopSwitch {
        objectName: "closeToTraySwitch"

        visible: wind.trayShown
        text: Tol.lang(Tol.Label.closeToTray)
        checked: wind.closeToTray
        onClicked: wind.closeToTray = checked
    }
}
