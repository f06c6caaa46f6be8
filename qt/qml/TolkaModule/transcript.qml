pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls.Material
import QtQuick.Dialogs
import QtCore

// The exchanges of the conversation, oldest first: each can be copied, the
// whole can be copied, exported to a file or cleared (after one question).
// Reads wind by name.
Drawer {
    id: drawer

    objectName: "Transcript"

    // The format the export dialog writes, with its file suffix.
    property string exportKind: "text"
    readonly property var kinds: [
        {
            "kind": "text",
            "label": Tol.Label.plainText,
            "suffix": "txt"
        },
        {
            "kind": "markdown",
            "label": Tol.Label.markdown,
            "suffix": "md"
        },
        {
            "kind": "csv",
            "label": Tol.Label.csvTable,
            "suffix": "csv"
        },
        {
            "kind": "srt",
            "label": Tol.Label.timedText,
            "suffix": "srt"
        }
    ]

    function copyText(text: string): void {
        clipboard.text = text;
        clipboard.selectAll();
        clipboard.copy();
        clipboard.text = "";
        Tol.notify(Tol.lang(Tol.Label.copied));
    }

    function startExport(kind: string, suffix: string): void {
        if (wind.transcriptModel.length === 0) {
            Tol.notify(Tol.lang(Tol.Label.transcriptEmpty));
            return;
        }
        drawer.exportKind = kind;
        saveDialog.defaultSuffix = suffix;
        saveDialog.nameFilters = ["*." + suffix];
        saveDialog.selectedFile = saveDialog.currentFolder + "/tolka-transcript." + suffix;
        saveDialog.open();
    }

    function exportTo(file: url): void {
        const name = decodeURIComponent(String(file).replace(/^.*\//, ""));
        const saved = wind.transcript !== null && wind.transcript.exportTo(file, wind.transcriptModel, drawer.exportKind);
        Tol.notify(Tol.lang(saved ? Tol.Label.savedTo : Tol.Label.couldNotSave).replace("%1", name));
    }

    edge: Qt.RightEdge
    modal: false
    height: wind.contentItem.height
    width: Math.max(wind.contentItem.width * 0.85, Math.min(wind.contentItem.width, 360))
    Material.elevation: 5

    // The clipboard is reached through a text editor that is never shown.
    TextEdit {
        id: clipboard

        visible: false
    }

    Label {
        id: title

        objectName: "transcriptTitle"

        width: parent.width
        padding: wind.font.pixelSize
        text: Tol.lang(Tol.Label.transcript)
        textFormat: Text.PlainText
        font.bold: true
        font.pixelSize: wind.font.pixelSize * 1.3
    }

    Label {
        objectName: "transcriptEmpty"

        anchors.top: title.bottom
        width: parent.width
        padding: wind.font.pixelSize
        visible: wind.transcriptModel.length === 0
        text: Tol.lang(Tol.Label.transcriptEmpty)
        textFormat: Text.PlainText
        wrapMode: Text.Wrap
        color: "gray"
    }

    ListView {
        id: list

        objectName: "transcriptList"

        anchors.top: title.bottom
        anchors.bottom: buttons.top
        width: parent.width
        clip: true
        model: wind.transcriptModel
        onCountChanged: Qt.callLater(list.positionViewAtEnd)

        delegate: ItemDelegate {
            id: exchange

            required property var modelData
            required property int index

            width: list.width
            background: Item {}
            Accessible.name: exchange.modelData.sourceText + " " + exchange.modelData.translation

            contentItem: Column {
                spacing: wind.font.pixelSize / 4

                Row {
                    width: parent.width
                    spacing: wind.font.pixelSize / 2
                    layoutDirection: Qt.locale().textDirection

                    Label {
                        anchors.verticalCenter: parent.verticalCenter
                        text: new Date(exchange.modelData.time).toLocaleTimeString(Qt.locale(), Locale.ShortFormat) + "  " + Tol.shortLanguageName(exchange.modelData.sourceLanguage) + (Qt.locale().textDirection === Qt.RightToLeft ? " ← " : " → ") + Tol.shortLanguageName(exchange.modelData.targetLanguage)
                        textFormat: Text.PlainText
                        color: "gray"
                        font.pixelSize: wind.font.pixelSize * 0.85
                    }

                    ToolButton {
                        objectName: "copyExchange" + exchange.index

                        anchors.verticalCenter: parent.verticalCenter
                        icon.source: "qrc:/icons/material/copy.png"
                        icon.width: wind.font.pixelSize * 1.2
                        icon.height: wind.font.pixelSize * 1.2
                        Accessible.name: Tol.lang(Tol.Label.copy)
                        ToolTip.text: Tol.lang(Tol.Label.copy)
                        ToolTip.visible: hovered
                        ToolTip.delay: 600
                        onClicked: drawer.copyText(Tol.transcriptText([exchange.modelData], "text"))
                    }
                }

                Label {
                    width: parent.width
                    text: exchange.modelData.sourceText
                    textFormat: Text.PlainText
                    wrapMode: Text.Wrap
                    color: exchange.modelData.direction === "backward" ? "darkorange" : (wind.isLight ? "#3700B3" : "cornflowerblue")
                }

                Label {
                    width: parent.width
                    text: exchange.modelData.translation
                    textFormat: Text.PlainText
                    wrapMode: Text.Wrap
                    font.bold: true
                    color: exchange.modelData.direction === "backward" ? (wind.isLight ? "#3700B3" : "cornflowerblue") : "darkorange"
                }
            }
        }
    }

    Flow {
        id: buttons

        anchors.bottom: parent.bottom
        width: parent.width
        padding: wind.font.pixelSize / 2
        spacing: wind.font.pixelSize / 2
        layoutDirection: Qt.locale().textDirection

        Button {
            objectName: "copyTranscript"

            flat: true
            text: Tol.lang(Tol.Label.copyAll)
            enabled: wind.transcriptModel.length > 0
            onClicked: drawer.copyText(Tol.transcriptText(wind.transcriptModel, "text"))
        }

        Button {
            id: exportButton

            objectName: "exportTranscript"

            flat: true
            text: Tol.lang(Tol.Label.exportTranscript)
            enabled: wind.transcriptModel.length > 0
            onClicked: exportMenu.open()

            Menu {
                id: exportMenu

                objectName: "exportMenu"

                y: -height

                Repeater {
                    model: drawer.kinds

                    MenuItem {
                        required property var modelData

                        objectName: "export-" + modelData.kind
                        text: Tol.lang(modelData.label)
                        onTriggered: drawer.startExport(modelData.kind, modelData.suffix)
                    }
                }
            }
        }

        Button {
            objectName: "clearTranscript"

            flat: true
            text: Tol.lang(Tol.Label.clearTranscript)
            enabled: wind.transcriptModel.length > 0
            Material.foreground: Material.Red
            onClicked: clearQuestion.open()
        }

        Button {
            flat: true
            icon.source: "qrc:/icons/material/validate.png"
            icon.width: implicitHeight / 2
            icon.height: implicitHeight / 2
            Material.foreground: wind.isLight ? Material.LightGreen : Material.Green
            Accessible.name: "OK"
            onClicked: drawer.close()
        }
    }

    Dialog {
        id: clearQuestion

        objectName: "clearTranscriptQuestion"

        parent: Overlay.overlay
        anchors.centerIn: parent
        width: Math.min(wind.width * 0.9, implicitWidth)
        modal: true
        title: Tol.lang(Tol.Label.clearTranscript)

        Label {
            width: parent.width
            text: Tol.lang(Tol.Label.clearTranscriptQuestion)
            textFormat: Text.PlainText
            wrapMode: Text.Wrap
        }

        footer: DialogButtonBox {
            Button {
                objectName: "confirmClear"

                text: Tol.lang(Tol.Label.clear)
                flat: true
                Material.foreground: Material.Red
                DialogButtonBox.buttonRole: DialogButtonBox.AcceptRole
            }
            Button {
                objectName: "cancelClear"

                text: Tol.lang(Tol.Label.cancel)
                flat: true
                DialogButtonBox.buttonRole: DialogButtonBox.RejectRole
            }
        }
        onAccepted: Tol.clearTranscript()
    }

    FileDialog {
        id: saveDialog

        objectName: "transcriptFileDialog"

        fileMode: FileDialog.SaveFile
        currentFolder: StandardPaths.writableLocation(StandardPaths.DocumentsLocation)
        onAccepted: drawer.exportTo(saveDialog.selectedFile)
    }
}
