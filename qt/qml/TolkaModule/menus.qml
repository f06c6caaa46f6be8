pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls.Material

// The main menu.
Menu {
    id: menu

    objectName: "Menus"

    component CustomItem: MenuItem {
        required property string source
        required property int textId

        objectName: source
        font.bold: true
        text: Tol.lang(textId)
        icon.source: "qrc:/icons/material/" + source + ".png"
    }

    anchors.centerIn: Overlay.overlay
    Material.roundedScale: Material.MediumScale
    width: {
        let widest = 0;
        for (let i = 0; i < menu.count; ++i) {
            const item = menu.itemAt(i);
            if (item instanceof MenuItem)
                widest = Math.max(widest, item.implicitWidth);
        }
        return widest + menu.leftPadding + menu.rightPadding;
    }

    CustomItem {
        source: "clearscreen"
        textId: 13
        onTriggered: Tol.clearScreen()
    }
    CustomItem {
        source: "copy"
        textId: 20
        onTriggered: Tol.setClipboard()
    }
    CustomItem {
        source: "paste"
        textId: 19
        onTriggered: Tol.getClipboard()
    }
    MenuSeparator {}
    CustomItem {
        source: "history"
        textId: 22
        onTriggered: Tol.open("History")
    }
    CustomItem {
        source: "voice"
        textId: 5
        onTriggered: Tol.open("Speakers")
    }
    CustomItem {
        source: "theme"
        textId: 11
        onTriggered: Tol.open("Theme")
    }
    MenuSeparator {}
    CustomItem {
        source: "parameters"
        textId: 2
        onTriggered: Tol.open("Options")
    }
    CustomItem {
        source: "about"
        textId: 0
        onTriggered: Tol.open("About")
    }
}
