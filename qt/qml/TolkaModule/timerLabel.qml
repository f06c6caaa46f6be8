pragma ComponentBehavior: Bound

import QtQuick

// Recording countdown; reads the main window's ids (wind, inputColumn,
// textToTranslateField) by name.
Text {
    id: label

    objectName: "TimerLabel"

    property int timer: wind.timeLimit

    x: 1
    topPadding: -inputColumn.spacing
    font.bold: true
    font.pixelSize: textToTranslateField.font.pixelSize
    color: "darkorange"
    textFormat: Text.PlainText
    visible: false
    text: label.timer + " " + Tol.lang(Tol.Label.seconds)

    onVisibleChanged: {
        label.timer = wind.timeLimit;
        if (label.visible)
            countdown.restart();
        else
            countdown.stop();
    }

    Timer {
        id: countdown

        repeat: true
        onTriggered: {
            if (label.timer !== 0)
                label.timer -= 1;
            if (label.timer === 0)
                Tol.countdownEnded(label);
        }
    }
}
