pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls.Material

// The contributors' lines; reads wind and textToTranslateField by name.
Dialog {
    id: dialog

    objectName: "Contributors"

    title: Tol.lang(Tol.Label.contributors)
    standardButtons: Dialog.Ok
    anchors.centerIn: Overlay.overlay
    font.bold: true

    Column {
        Repeater {
            model: wind.helper.contributors()

            Label {
                required property string modelData

                text: modelData
                font.bold: true
                textFormat: Text.PlainText
                font.pixelSize: textToTranslateField.font.pixelSize
            }
        }
    }
}
