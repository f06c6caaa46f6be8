pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls.Material

// About the application; reads wind and textToTranslateField by name.
Dialog {
    id: dialog

    objectName: "About"

    readonly property string contactAddress: "contact@arvendel.example"
    readonly property string donationPage: "https://arvendel.example/donate"
    readonly property var store: wind.helper.getStore(SystemInformation.productType)
    readonly property bool storeless: ["ios", "tvos", "watchos", "macos"].indexOf(SystemInformation.productType) >= 0

    component CustomUrl: Label {
        font.bold: true
        textFormat: Text.StyledText
        font.pixelSize: textToTranslateField.font.pixelSize
        linkColor: wind.isLight ? "#3700B3" : "darkorange"
        onLinkActivated: link => Qt.openUrlExternally(link)
    }
    component CustomButton: Button {
        required property int textId

        font.bold: true
        text: Tol.lang(textId)
        Material.elevation: 1
    }

    title: Tol.lang(Tol.Label.aboutTitle)
    standardButtons: Dialog.Ok
    anchors.centerIn: Overlay.overlay
    font.bold: true

    Column {
        Label {
            text: Application.name + " (" + Application.version + ")"
            textFormat: Text.PlainText
        }
        CustomUrl {
            text: String(wind.helper.getRawLabel(Tol.Label.email)) + " <a href=\"mailto:" + dialog.contactAddress + "\">" + dialog.contactAddress + "</a>"
        }
        CustomUrl {
            readonly property string site: String(wind.helper.getRawLabel(Tol.Label.makerAddress))

            text: String(wind.helper.getRawLabel(Tol.Label.website)) + " <a href=\"" + site + "\">" + site + "</a>"
        }
        CustomUrl {
            visible: Object.keys(dialog.store).length > 0
            text: visible ? Tol.lang(Tol.Label.visitUs) + " <a href=\"" + String(dialog.store.url) + "\">" + String(dialog.store.name) + "</a>" : ""
        }
        Label {
            text: " "
        }
        CustomButton {
            textId: Tol.Label.contributors
            onClicked: {
                dialog.close();
                Tol.open("Contributors");
            }
        }
        CustomButton {
            textId: Tol.Label.donate
            visible: !dialog.storeless
            onClicked: {
                dialog.close();
                Qt.openUrlExternally(dialog.donationPage);
            }
        }
    }
}
