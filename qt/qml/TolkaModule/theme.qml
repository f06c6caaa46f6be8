pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls.Material

// Theme and background picture; reads wind and customBackGround by name.
Dialog {
    id: dialog

    objectName: "Theme"

    title: Tol.lang(Tol.Label.theme)
    anchors.centerIn: Overlay.overlay
    font.bold: true

    Column {
        RadioButton {
            text: Tol.lang(Tol.Label.light)
            checked: wind.isLight
            onClicked: {
                wind.isLight = true;
                dialog.close();
            }
        }
        RadioButton {
            text: Tol.lang(Tol.Label.dark)
            checked: !wind.isLight
            onClicked: {
                wind.isLight = false;
                dialog.close();
            }
        }
        Button {
            text: Tol.lang(Tol.Label.customWallpaper)
            onClicked: {
                Tol.open("File");
                dialog.close();
            }
        }
        Button {
            text: Tol.lang(Tol.Label.clearBackground)
            onClicked: {
                customBackGround.source = "";
                dialog.close();
            }
        }
    }
}
