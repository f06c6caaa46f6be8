pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls.Material

// Settings dialog; reads wind by name.
Dialog {
    id: dialog

    objectName: "Options"

    // Reports a new value only when the handle is released.
    component VolumeSlider: Slider {
        from: 0.01
        to: 1.0
        stepSize: 0.01
        live: false
    }
    component Separator: Text {
        text: " "
        Component.onCompleted: font.pixelSize /= 1.2
    }
    component CustomTitle: Label {
        font.bold: true
        textFormat: Text.PlainText
        font.pixelSize: dialog.radioPixelSize
    }
    component OptionalSeparator: Text {
        textFormat: Text.PlainText
        visible: wind.hasSpeechService
    }
    component Radio: RadioButton {
        font.pixelSize: dialog.switchPixelSize
    }

    property real switchPixelSize: bipSwitch.font.pixelSize
    property real radioPixelSize: (dialog.switchPixelSize + ((dialog.header as Label)?.font.pixelSize ?? dialog.switchPixelSize)) / 2

    title: Tol.lang(Tol.Label.settings)
    standardButtons: Dialog.Ok
    anchors.centerIn: Overlay.overlay
    font.bold: true

    // Scrolls when the window is too short for every setting.
    Flickable {
        objectName: "optionsFlick"

        implicitWidth: settingsColumn.implicitWidth
        implicitHeight: settingsColumn.implicitHeight
        contentWidth: settingsColumn.implicitWidth
        contentHeight: settingsColumn.implicitHeight
        boundsBehavior: Flickable.StopAtBounds
        clip: true
        ScrollIndicator.vertical: ScrollIndicator {}

        Column {
            id: settingsColumn

            OptionalSeparator {}
            Column {
                visible: wind.hasSpeechService
                CustomTitle {
                    text: Tol.lang(Tol.Label.speechRecognition)
                }
                OptionalSeparator {}
                Radio {
                    text: Tol.lang(Tol.Label.lowLatency)
                    checked: !wind.onCloudSpeech
                    onClicked: wind.onCloudSpeech = false
                }
                Radio {
                    text: Tol.lang(Tol.Label.standardQuality)
                    checked: wind.onCloudSpeech
                    onClicked: wind.onCloudSpeech = true
                }
            }
            OptionalSeparator {}
            MenuSeparator {
                visible: wind.hasSpeechService
                width: parent.width
            }
            OptionalSeparator {}

            CustomTitle {
                text: Tol.lang(Tol.Label.sounds)
            }
            Separator {}
            Switch {
                id: bipSwitch

                text: Tol.lang(Tol.Label.application)
                checked: wind.hasBip
                onClicked: wind.hasBip = bipSwitch.checked
                Component.onCompleted: font.pixelSize *= 1.2
            }
            VolumeSlider {
                id: appSlider

                objectName: "appSlider"
                value: wind.appVol
                Material.accent: bipSwitch.checked ? "darkorange" : bipSwitch.indicator.children[0].color
                onValueChanged: {
                    if (appSlider.value !== wind.appVol) {
                        wind.appVol = appSlider.value;
                        wind.player.setAppVolume(appSlider.value);
                    }
                }
            }
            Separator {}
            Switch {
                id: voiceSwitch

                text: Tol.lang(Tol.Label.voices)
                checked: wind.hasVoice
                onClicked: wind.hasVoice = voiceSwitch.checked
                Component.onCompleted: font.pixelSize *= 1.2
            }
            VolumeSlider {
                id: voiceSlider

                objectName: "voiceSlider"
                value: wind.voiceVol
                Material.accent: voiceSwitch.checked ? "darkorange" : voiceSwitch.indicator.children[0].color
                onValueChanged: {
                    if (voiceSlider.value !== wind.voiceVol) {
                        wind.voiceVol = voiceSlider.value;
                        wind.player.setSpeechVolume(voiceSlider.value);
                    }
                }
            }
            Label {
                text: Tol.lang(Tol.Label.speakingRate) + "  " + Number(rateSlider.valueAt(rateSlider.position)).toLocaleString(Qt.locale(), "f", 2) + "×"
                textFormat: Text.PlainText
            }
            Slider {
                id: rateSlider

                objectName: "rateSlider"

                from: 0.5
                to: 1.5
                stepSize: 0.05
                snapMode: Slider.SnapAlways
                live: false
                value: wind.speechRate
                Material.accent: voiceSwitch.checked ? "darkorange" : voiceSwitch.indicator.children[0].color
                Accessible.name: Tol.lang(Tol.Label.speakingRate)
                onValueChanged: {
                    if (Math.abs(rateSlider.value - wind.speechRate) > 0.001)
                        Tol.setSpeechRate(rateSlider.value);
                }
            }

            Separator {}
            MenuSeparator {
                visible: wind.isDesktop
                width: parent.width
            }
            CustomTitle {
                visible: wind.isDesktop
                text: Tol.lang(Tol.Label.desktop)
            }
            DesktopOptions {
                visible: wind.isDesktop
            }

            Separator {}
            MenuSeparator {
                width: parent.width
            }
            CustomTitle {
                text: Tol.lang(Tol.Label.serviceAccount)
            }
            Label {
                objectName: "accountSummary"

                textFormat: Text.PlainText
                text: wind.service.mode === "offline" ? Tol.lang(Tol.Label.offline) : Tol.lang(Tol.Label.cloud) + " · " + (wind.service.speechRegion || wind.service.automaticRegion || "")
            }
            Button {
                objectName: "openAccount"

                text: Tol.lang(Tol.Label.serviceAccount) + "…"
                Material.elevation: 1
                onClicked: {
                    dialog.close();
                    Tol.open("Account");
                }
            }
        }
    }
}
