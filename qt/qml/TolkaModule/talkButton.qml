pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls.Material

// One side's hold-to-talk button in conversation mode: the microphone, and
// under it the short name of the language that side speaks.
// Reads wind by name.
Column {
    id: button

    // "forward" speaks the first language, "backward" the second.
    required property string side
    required property string language
    required property real micHeight
    required property url micSource
    // This side's hold-to-talk key is down and its turn is recording.
    required property bool keyHeld
    readonly property bool speaking: area.pressed || button.keyHeld

    spacing: wind.font.pixelSize / 2
    Accessible.role: Accessible.Button
    Accessible.name: Tol.lang(Tol.Label.speechRecognition) + " " + languageName.text

    Item {
        width: button.micHeight
        height: button.micHeight
        anchors.horizontalCenter: parent.horizontalCenter

        Rectangle {
            width: parent.width * 1.3
            height: width
            radius: width / 2
            anchors.centerIn: parent
            color: wind.isLight ? "darkorange" : "gray"
            visible: button.speaking
        }

        Image {
            anchors.fill: parent
            source: button.micSource
            fillMode: Image.PreserveAspectFit
            cache: true
            sourceSize.width: width
            sourceSize.height: height
        }

        MouseArea {
            id: area

            objectName: button.objectName + "Area"

            anchors.fill: parent
            pressAndHoldInterval: 120
            onPressAndHold: Tol.talkHeld(button.side)
            onReleased: Tol.micReleased()
            onCanceled: Tol.micReleased()
        }
    }

    Label {
        id: languageName

        objectName: button.objectName + "Label"

        anchors.horizontalCenter: parent.horizontalCenter
        width: Math.min(implicitWidth, wind.width / 2 - wind.font.pixelSize * 2)
        text: Tol.shortLanguageName(button.language)
        textFormat: Text.PlainText
        elide: Text.ElideRight
        font.bold: true
        color: button.side === "forward" ? (wind.isLight ? "#3700B3" : "cornflowerblue") : "darkorange"
    }
}
