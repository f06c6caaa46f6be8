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
        textId: Tol.Label.clearScreen
        onTriggered: Tol.clearScreen()
    }
    CustomItem {
        source: "copy"
        textId: Tol.Label.copyTranslation
        onTriggered: Tol.setClipboard()
    }
    CustomItem {
        source: "paste"
        textId: Tol.Label.pasteClipboard
        onTriggered: Tol.getClipboard()
    }
    MenuSeparator {}
    MenuItem {
        objectName: "conversation"
        font.bold: true
        text: Tol.lang(Tol.Label.conversation)
        checkable: true
        checked: wind.conversation
        // The click broke the binding; the tray can switch the mode too.
        onTriggered: {
            Tol.setConversation(checked);
            checked = Qt.binding(() => wind.conversation);
        }
    }
    CustomItem {
        source: "history"
        objectName: "transcript"
        textId: Tol.Label.transcript
        onTriggered: Tol.open("Transcript")
    }
    CustomItem {
        source: "history"
        textId: Tol.Label.lastTranslations
        onTriggered: Tol.open("History")
    }
    CustomItem {
        source: "voice"
        textId: Tol.Label.voice
        onTriggered: Tol.open("Speakers")
    }
    CustomItem {
        source: "theme"
        textId: Tol.Label.theme
        onTriggered: Tol.open("Theme")
    }
    MenuSeparator {}
    CustomItem {
        source: "parameters"
        textId: Tol.Label.settings
        onTriggered: Tol.open("Options")
    }
    CustomItem {
        source: "about"
        textId: Tol.Label.aboutTitle
        onTriggered: Tol.open("About")
    }
}
