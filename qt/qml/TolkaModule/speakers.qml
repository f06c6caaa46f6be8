pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls.Material

// Voice chooser: two columns, or three above twenty voices. Reads wind by name.
Dialog {
    id: dialog

    objectName: "Speakers"

    readonly property int count: wind.voices.length
    readonly property int firstSplit: dialog.count > 20 ? Math.ceil(dialog.count / 3) : Math.ceil(dialog.count / 2)
    readonly property int secondSplit: dialog.count > 20 ? 2 * dialog.firstSplit : dialog.count

    function updateVoiceName(name: string): void {
        wind.currentVoice = name;
        wind.currentShortName = wind.shortNames[wind.voices.indexOf(name)];
        dialog.close();
    }

    component VoiceColumn: Column {
        id: voiceColumn

        required property int from
        required property int to

        Repeater {
            model: wind.voices.slice(voiceColumn.from, voiceColumn.to)

            RadioButton {
                id: voiceButton

                required property string modelData

                text: voiceButton.modelData
                height: voiceButton.font.pixelSize * 3
                checked: voiceButton.modelData === wind.currentVoice
                onClicked: dialog.updateVoiceName(voiceButton.modelData)
            }
        }
    }

    title: Tol.lang(Tol.Label.voice)
    anchors.centerIn: Overlay.overlay
    font.bold: true

    Row {
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
