pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Dialogs
import QtCore

// Picks the background picture; reads customBackGround by name.
FileDialog {
    id: dialog

    objectName: "File"

    nameFilters: ["Image files (*.png *.jpeg *.jpg *.bmp)"]
    currentFolder: StandardPaths.standardLocations(StandardPaths.PicturesLocation)[0]
    onAccepted: customBackGround.source = dialog.selectedFile
}
