pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls.Material

// The service account: cloud or offline engines, the speech region and the
// keys (kept in the system's credential store, shown by their last four
// characters once stored), and a check of what works. Reads wind by name.
Dialog {
    id: dialog

    objectName: "Account"

    // The results of the last check, by service ("translation", "speech").
    property var results: ({})
    property bool checking: false

    // A key field: its text is stored when editing ends, then cleared, so
    // that a key is never shown again once stored.
    component KeyField: TextField {
        id: field

        required property string keyName
        required property int labelId
        property string prefix: ""
        readonly property string hint: wind.service.keys ? (wind.service.keys[field.keyName] ?? "") : ""
        readonly property string label: field.prefix + Tol.lang(field.labelId)

        width: parent.width
        echoMode: TextInput.Password
        passwordMaskDelay: 0
        inputMethodHints: Qt.ImhSensitiveData | Qt.ImhNoPredictiveText
        placeholderText: field.label + (field.hint.length > 0 ? "  ••••" + field.hint : "")
        Accessible.name: field.label
        Accessible.description: field.hint.length > 0 ? "••••" + field.hint : ""
        onEditingFinished: dialog.storeKey(field)
    }
    component CheckLine: Label {
        id: line

        required property string service
        required property int labelId
        readonly property var result: dialog.results[line.service]

        width: parent.width
        visible: line.result !== undefined
        wrapMode: Text.Wrap
        textFormat: Text.PlainText
        text: line.result ? Tol.lang(line.labelId) + ": " + Tol.checkWords(line.result) : ""
        color: line.result && line.result.result === "working" ? (wind.isLight ? "green" : "lightgreen") : "darkorange"
    }

    function storeKey(field: var): void {
        const key = field.text.trim();
        if (key.length === 0)
            return;
        wind.account.setKey(field.keyName, key);
        field.clear();
    }
    function storeAll(): void {
        for (const field of [speechKey, translatorKey, speechBackupKey, translatorBackupKey])
            dialog.storeKey(field);
        const region = translatorRegion.text.trim().toLowerCase();
        if (region !== (wind.service.translatorRegion ?? ""))
            wind.account.setTranslatorRegion(region);
    }
    function check(): void {
        dialog.storeAll();
        dialog.results = {};
        dialog.checking = true;
        wind.account.check();
    }
    function showResults(value: var): void {
        dialog.results = value;
        dialog.checking = false;
    }

    title: Tol.lang(Tol.Label.serviceAccount)
    standardButtons: Dialog.Ok
    anchors.centerIn: Overlay.overlay
    width: Math.min(wind.width - 2 * wind.font.pixelSize, 32 * wind.font.pixelSize)
    height: Math.min(wind.height - 2 * wind.font.pixelSize, implicitHeight)
    font.bold: true
    onAccepted: dialog.storeAll()
    onAboutToShow: translatorRegion.text = wind.service.translatorRegion ?? ""

    ScrollView {
        id: scroll

        anchors.fill: parent
        contentWidth: availableWidth
        clip: true

        Column {
            width: scroll.availableWidth
            spacing: wind.font.pixelSize / 3

            Row {
                spacing: wind.font.pixelSize
                layoutDirection: Qt.locale().textDirection
                anchors.right: Qt.locale().textDirection === Qt.RightToLeft ? parent.right : undefined
                RadioButton {
                    objectName: "cloudMode"
                    text: Tol.lang(Tol.Label.cloud)
                    checked: wind.service.mode === "cloud"
                    onClicked: wind.account.setMode("cloud")
                }
                RadioButton {
                    objectName: "offlineMode"
                    text: Tol.lang(Tol.Label.offline)
                    checked: wind.service.mode === "offline"
                    onClicked: wind.account.setMode("offline")
                }
            }

            Label {
                width: parent.width
                text: Tol.lang(Tol.Label.speechRegion)
                textFormat: Text.PlainText
            }
            ComboBox {
                id: region

                objectName: "speechRegion"

                readonly property list<string> regions: wind.account.speechRegions()

                width: parent.width
                font.bold: false
                model: [Tol.lang(Tol.Label.automatic) + " (" + (wind.service.automaticRegion ?? "") + ")"].concat(region.regions)
                currentIndex: Math.max(0, region.regions.indexOf(wind.service.speechRegion ?? "") + 1)
                Accessible.name: Tol.lang(Tol.Label.speechRegion)
                onActivated: index => wind.account.setSpeechRegion(index === 0 ? "" : region.regions[index - 1])
            }

            KeyField {
                id: speechKey

                objectName: "speechKey"
                keyName: "speech"
                labelId: Tol.Label.speechKey
            }
            KeyField {
                id: translatorKey

                objectName: "translatorKey"
                keyName: "translator"
                labelId: Tol.Label.translatorKey
            }
            TextField {
                id: translatorRegion

                objectName: "translatorRegion"

                width: parent.width
                placeholderText: Tol.lang(Tol.Label.translatorRegion)
                Accessible.name: Tol.lang(Tol.Label.translatorRegion)
                inputMethodHints: Qt.ImhNoPredictiveText | Qt.ImhLowercaseOnly
                onEditingFinished: {
                    const value = translatorRegion.text.trim().toLowerCase();
                    if (value !== (wind.service.translatorRegion ?? ""))
                        wind.account.setTranslatorRegion(value);
                }
            }

            Switch {
                id: backups

                objectName: "backupKeys"

                text: Tol.lang(Tol.Label.backupKeys)
                checked: (wind.service.keys?.speechBackup ?? "").length > 0 || (wind.service.keys?.translatorBackup ?? "").length > 0
            }
            KeyField {
                id: speechBackupKey

                objectName: "speechBackupKey"
                visible: backups.checked
                keyName: "speechBackup"
                labelId: Tol.Label.speechKey
                prefix: Tol.lang(Tol.Label.backupKeys) + ": "
            }
            KeyField {
                id: translatorBackupKey

                objectName: "translatorBackupKey"
                visible: backups.checked
                keyName: "translatorBackup"
                labelId: Tol.Label.translatorKey
                prefix: Tol.lang(Tol.Label.backupKeys) + ": "
            }

            Row {
                spacing: wind.font.pixelSize
                Button {
                    id: checkButton

                    objectName: "checkAccount"

                    text: Tol.lang(Tol.Label.check)
                    enabled: !dialog.checking
                    Material.elevation: 1
                    onClicked: dialog.check()
                }
                BusyIndicator {
                    anchors.verticalCenter: checkButton.verticalCenter
                    height: checkButton.height
                    running: dialog.checking
                    visible: dialog.checking
                }
            }
            CheckLine {
                objectName: "speechCheck"
                service: "speech"
                labelId: Tol.Label.speechKey
            }
            CheckLine {
                objectName: "translationCheck"
                service: "translation"
                labelId: Tol.Label.translatorKey
            }

            Label {
                objectName: "insecureStore"

                width: parent.width
                visible: wind.service.secure === false
                text: Tol.lang(Tol.Label.insecureStore)
                textFormat: Text.PlainText
                wrapMode: Text.Wrap
                color: "darkorange"
            }
        }
    }
}
