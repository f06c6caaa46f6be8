pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls.Material

// Theme and background picture; reads wind and customBackGround by name.
Dialog {
    id: dialog

    objectName: "Theme"

    title: Tol.lang(11)
    anchors.centerIn: Overlay.overlay
    font.bold: true

    Column {
        RadioButton {
            text: Tol.lang(15)
            checked: wind.isLight
            onClicked: {
                wind.isLight = true;
                dialog.close();
            }
        }
        RadioButton {
            text: Tol.lang(16)
            checked: !wind.isLight
            onClicked: {
                wind.isLight = false;
                dialog.close();
            }
        }
        Button {
            text: Tol.lang(17)
            onClicked: {
                Tol.open("File");
                dialog.close();
            }
        }
        Button {
            text: Tol.lang(18)
            onClicked: {
                customBackGround.source = "";
                dialog.close();
            }
        }
    }
}
