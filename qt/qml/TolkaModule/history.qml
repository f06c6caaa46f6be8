pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls.Material

// Earlier inputs, newest first, with what they became; a click shows one
// with its translation and speaks it again, without saving it again.
// Reads wind by name.
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
            // What the entry became, when it is known.
            readonly property string translation: wind.historyDetails[entry.modelData]?.translation ?? ""

            width: list.width
            text: entry.modelData
            background: Item {}
            Accessible.name: entry.modelData + " " + entry.translation
            onClicked: {
                drawer.close();
                Tol.replayHistory(entry.modelData);
            }

            contentItem: Column {
                Label {
                    width: parent.width
                    text: entry.modelData
                    textFormat: Text.PlainText
                    elide: Text.ElideRight
                    font.bold: true
                }
                Label {
                    objectName: "historyTranslation"

                    width: parent.width
                    visible: entry.translation.length > 0
                    text: entry.translation
                    textFormat: Text.PlainText
                    elide: Text.ElideRight
                    font.bold: false
                    color: "darkorange"
                }
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
