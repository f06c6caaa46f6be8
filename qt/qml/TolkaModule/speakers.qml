pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls.Material

// Voice chooser: two columns, or three above twenty voices, laid out in the
// reading direction and scrolled sideways where they are wider than the
// window. In conversation mode a tab per side: the destination language's
// voice speaks the forward turns, the source language's the backward ones.
// Reads wind by name.
Dialog {
    id: dialog

    objectName: "Speakers"

    // Which side's voices are shown: "forward" (destination) or "backward".
    property string side: "forward"
    readonly property bool backward: wind.conversation && dialog.side === "backward"
    readonly property var voices: dialog.backward ? wind.sourceVoices : wind.voices
    readonly property string current: dialog.backward ? wind.sourceVoice : wind.currentVoice
    readonly property int count: dialog.voices.length
    readonly property int firstSplit: dialog.count > 20 ? Math.ceil(dialog.count / 3) : Math.ceil(dialog.count / 2)
    readonly property int secondSplit: dialog.count > 20 ? 2 * dialog.firstSplit : dialog.count

    function updateVoiceName(name: string): void {
        if (dialog.backward) {
            wind.sourceVoice = name;
            wind.sourceShortName = wind.sourceShortNames[wind.sourceVoices.indexOf(name)];
        } else {
            wind.currentVoice = name;
            wind.currentShortName = wind.shortNames[wind.voices.indexOf(name)];
        }
        dialog.close();
    }

    component VoiceColumn: Column {
        id: voiceColumn

        required property int from
        required property int to

        Repeater {
            model: dialog.voices.slice(voiceColumn.from, voiceColumn.to)

            RadioButton {
                id: voiceButton

                required property string modelData

                text: voiceButton.modelData
                height: voiceButton.font.pixelSize * 3
                checked: voiceButton.modelData === dialog.current
                onClicked: dialog.updateVoiceName(voiceButton.modelData)
            }
        }
    }

    // Right-to-left languages read the sides, the columns and each voice's
    // button from the right.
    readonly property bool rightToLeft: Qt.locale().textDirection === Qt.RightToLeft

    title: Tol.lang(Tol.Label.voice)
    anchors.centerIn: Overlay.overlay
    font.bold: true
    width: Math.min(wind.width - 2 * wind.font.pixelSize, implicitWidth)
    height: Math.min(wind.height - 2 * wind.font.pixelSize, implicitHeight)
    onClosed: dialog.side = "forward"
    onOpened: voiceArea.showStart()

    header: Column {
        LayoutMirroring.enabled: dialog.rightToLeft
        LayoutMirroring.childrenInherit: true

        Label {
            width: parent.width
            padding: dialog.font.pixelSize
            bottomPadding: 0
            text: dialog.title
            textFormat: Text.PlainText
            font.bold: true
            font.pixelSize: dialog.font.pixelSize * 1.2
            elide: Text.ElideRight
        }
        TabBar {
            id: sides

            objectName: "voiceSides"

            width: parent.width
            visible: wind.conversation
            currentIndex: dialog.side === "backward" ? 1 : 0
            onCurrentIndexChanged: dialog.side = sides.currentIndex === 1 ? "backward" : "forward"

            TabButton {
                objectName: "voiceSideForward"
                text: Tol.lang(Tol.Label.voiceFor).replace("%1", Tol.shortLanguageName(wind.destLang))
            }
            TabButton {
                objectName: "voiceSideBackward"
                text: Tol.lang(Tol.Label.voiceFor).replace("%1", Tol.shortLanguageName(wind.sourceLang))
            }
        }
    }

    Flickable {
        id: voiceArea

        // Wider than the dialog: starts where the reading starts.
        function showStart(): void {
            voiceArea.contentX = dialog.rightToLeft ? Math.max(0, voiceArea.contentWidth - voiceArea.width) : 0;
        }

        anchors.fill: parent
        LayoutMirroring.enabled: dialog.rightToLeft
        LayoutMirroring.childrenInherit: true
        implicitWidth: columns.width
        implicitHeight: columns.height
        contentWidth: columns.width
        contentHeight: columns.height
        clip: true
        boundsBehavior: Flickable.StopAtBounds
        ScrollBar.horizontal: ScrollBar {}
        ScrollBar.vertical: ScrollBar {}

        onWidthChanged: voiceArea.showStart()
        onContentWidthChanged: voiceArea.showStart()

        Row {
            id: columns

            spacing: dialog.font.pixelSize

            VoiceColumn {
                objectName: "voiceColumn0"
                from: 0
                to: dialog.firstSplit
            }
            VoiceColumn {
                objectName: "voiceColumn1"
                from: dialog.firstSplit
                to: dialog.secondSplit
            }
            VoiceColumn {
                objectName: "voiceColumn2"
                visible: dialog.count > 20
                from: dialog.secondSplit
                to: dialog.count
            }
        }
    }
}
