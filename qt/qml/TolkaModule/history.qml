pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls.Material

// Earlier inputs, newest first; a click translates one again without saving
// it again. Reads wind by name.
Drawer {
    id: drawer

    objectName: "History"

    edge: Qt.LeftEdge
    modal: false
    font.bold: true
    height: wind.contentItem.height
    width: wind.contentItem.width * 0.75
    Material.elevation: 5

    Switch {
        id: historySwitch

        objectName: "historySwitch"
        text: Tol.lang(Tol.Label.lastTranslations)
        height: historySwitch.implicitHeight * 2
        checked: wind.historyEnabled
        onCheckedChanged: wind.historyEnabled = historySwitch.checked
    }

    ListView {
        id: list

        objectName: "historyList"
        visible: wind.historyEnabled
        anchors.top: historySwitch.bottom
        width: drawer.width
        height: drawer.height - 2 * historySwitch.height - closeButton.height
        clip: true
        model: wind.historyModel

        delegate: ItemDelegate {
            id: entry

            required property string modelData

            width: list.width
            text: entry.modelData
            background: Item {}
            onClicked: {
                drawer.close();
                Tol.speechReceived(entry.modelData, false);
            }
        }
    }

    Button {
        id: clearButton

        objectName: "clearHistory"
        flat: true
        visible: wind.historyEnabled
        anchors.left: parent.left
        anchors.bottom: parent.bottom
        icon.source: "qrc:/icons/material/cancel.png"
        icon.width: clearButton.implicitHeight / 2
        icon.height: clearButton.implicitHeight / 2
        Material.foreground: Material.Red
        Accessible.name: Tol.lang(Tol.Label.clearScreen)
        onClicked: wind.historyModel = []
    }

    Button {
        id: closeButton

        flat: true
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        icon.source: "qrc:/icons/material/validate.png"
        icon.width: closeButton.implicitHeight / 2
        icon.height: closeButton.implicitHeight / 2
        Material.foreground: wind.isLight ? Material.LightGreen : Material.Green
        Accessible.name: "OK"
        onClicked: drawer.close()
    }
}
