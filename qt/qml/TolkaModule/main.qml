pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls.Material
import QtCore

ApplicationWindow {
    id: wind

    required property var tts
    required property var helper
    required property var player
    required property var recorder
    required property var account

    readonly property int timeLimit: 60
    property bool onCloudSpeech: true
    property bool hasVoice: true
    property bool hasBip: true
    property real appVol: 0.5
    property real voiceVol: 1
    property list<string> voices: []
    property list<string> shortNames: []
    property string currentVoice: ""
    property string currentShortName: ""
    property list<string> historyModel: []
    property bool historyEnabled: true
    property bool hasSpeechService: false
    readonly property bool isDesktop: wind.helper.isDesktop()
    readonly property var languageModel: wind.helper.getBaseModel()
    property bool isLight: Application.styleHints.colorScheme !== Qt.ColorScheme.Dark
    // The service in use, as the account last reported it ("SERVICE").
    property var service: ({})
    // Two people take turns, each holding the microphone of their language.
    property bool conversation: false
    // The direction of the turn in progress or last taken: "forward" from the
    // source language to the destination, "backward" the other way.
    property string turn: "forward"
    // Multiplies the voices' normal speed in every synthesis.
    property real speechRate: 0.80
    // The voices of the source language, for the backward turns.
    property list<string> sourceVoices: []
    property list<string> sourceShortNames: []
    property string sourceVoice: ""
    property string sourceShortName: ""
    // What each history entry became: its text -> translation, languages, voice.
    property var historyDetails: ({})
    // The native transcript store ("transcript"), absent in some tests.
    property var transcript: null
    // The exchanges shown in the transcript, oldest first.
    property var transcriptModel: []
    // The global hold-to-talk key ("hotkey") and the tray icon ("tray"),
    // absent in some tests.
    property var hotkey: null
    property var tray: null
    property bool holdKeyOn: false
    property string holdKey: "Ctrl+Alt+Space"
    property bool holdKeyRaises: false
    // What the native side said of the key: "off", "bound", "unavailable"...
    property string holdKeyStatus: "off"
    property bool holdKeyDown: false
    property bool alwaysOnTop: false
    property bool closeToTray: false
    property bool trayShown: false
    property bool speaking: false
    readonly property string activity: micArea.isPressed ? "recording" : wind.speaking ? "speaking" : "idle"
    // The two languages, for the panels.
    readonly property string sourceLang: clangsource.currentLang
    readonly property string destLang: clangdest.currentLang

    // Source language when nothing was stored, and the matching destination.
    readonly property string defaultSourceLang: wind.helper.getCurrentLang(false)
    readonly property string defaultDestLang: wind.helper.getCurrentLang(true) == "en" ? "fr-FR" : "en-US"

    // Whether the window was already visible when its completion handler ran.
    property bool visibleAtCompletion: false

    // Called by the native side for every message.
    function forwardMessage(tag: string, value: var): void {
        Tol.sortMessages(tag, value);
    }

    // The one place where panels are made and kept, whichever copy of the
    // controller asks for them.
    function panelFor(panel: string, root: var): var {
        return Tol.makePanel(panel, root);
    }

    title: "Tolka"
    width: Screen.desktopAvailableWidth
    height: Screen.desktopAvailableHeight
    minimumWidth: 360
    minimumHeight: 480
    color: wind.isLight ? "white" : "black"

    Material.theme: wind.isLight ? Material.Light : Material.Dark
    Material.primary: wind.isLight ? "black" : "white"
    Material.accent: "darkorange"

    background: Image {
        id: customBackGround

        objectName: "customBackGround"

        source: ""
        asynchronous: true
        retainWhileLoading: true
        sourceSize.width: wind.width
        sourceSize.height: wind.height
        fillMode: Image.PreserveAspectCrop
    }

    Settings {
        id: settings

        property alias hasBip: wind.hasBip
        property alias voices: wind.voices
        property alias appVol: wind.appVol
        property alias isLight: wind.isLight
        property alias hasVoice: wind.hasVoice
        property alias voiceVol: wind.voiceVol
        property alias shortNames: wind.shortNames
        property alias currentVoice: wind.currentVoice
        property alias onCloudSpeech: wind.onCloudSpeech
        property alias historyModelData: wind.historyModel
        property alias historyEnabled: wind.historyEnabled
        property alias clangDestValue: clangdest.currentLang
        property alias currentShortName: wind.currentShortName
        property alias hasSpeechService: wind.hasSpeechService
        property alias clangSourceValue: clangsource.currentLang
        property alias customBackGroundSource: customBackGround.source
        property alias conversation: wind.conversation
        property alias speechRate: wind.speechRate
        property alias sourceVoices: wind.sourceVoices
        property alias sourceShortNames: wind.sourceShortNames
        property alias sourceVoice: wind.sourceVoice
        property alias sourceShortName: wind.sourceShortName
        property alias historyDetails: wind.historyDetails
        property alias holdKeyOn: wind.holdKeyOn
        property alias holdKey: wind.holdKey
        property alias holdKeyRaises: wind.holdKeyRaises
        property alias alwaysOnTop: wind.alwaysOnTop
        property alias closeToTray: wind.closeToTray
    }

    // The global key's 120 ms rule, as the microphone's.
    Timer {
        id: holdKeyHold

        interval: 120
        onTriggered: Desk.holdKeyHeld()
    }

    Item {
        id: appHeader

        y: height / 3
        width: parent.width
        height: clangsource.height

        Inline.LanguagesBox {
            id: clangsource

            objectName: "clangsource"

            currentLang: wind.defaultSourceLang
            onCurrentLangChanged: Tol.sourceLanguageChanged()
        }

        Button {
            id: swapLanguages

            objectName: "swapLanguages"

            anchors.centerIn: parent
            icon.source: "qrc:/icons/material/arrows.png"
            Material.elevation: 3
            Material.background: "white"
            Material.foreground: wind.isLight ? "darkorange" : "gray"
            Accessible.name: clangsource.displayText + " ⇄ " + clangdest.displayText
            onClicked: Tol.swapLang()
        }

        Inline.LanguagesBox {
            id: clangdest

            objectName: "clangdest"

            anchors.right: parent.right
            popup.x: clangdest.width - clangdest.popup.width
            currentLang: wind.defaultDestLang
            onCurrentLangChanged: Tol.destLanguageChanged()
        }
    }

    Column {
        id: inputColumn

        anchors.top: appHeader.bottom
        anchors.bottom: micItem.top
        width: parent.width
        topPadding: wind.font.pixelSize
        spacing: wind.font.pixelSize / 2

        Inline.TextFlick {
            id: sourceFlick

            textField.placeholderText: clangsource.displayText
            textField.color: wind.isLight ? "#3700B3" : "cornflowerblue"
            textField.maximumLength: 1000
            textField.onAccepted: Tol.validatedText()
            textField.Keys.onTabPressed: event => {
                Tol.validatedText();
                event.accepted = false;
            }
            textField.onLengthChanged: Tol.sourceLengthChanged()
            textField.onContentHeightChanged: Qt.callLater(() => {
                sourceFlick.contentY = sourceFlick.contentHeight - sourceFlick.height;
            })
        }

        Item {
            id: timerContainer

            objectName: "timerContainer"

            width: parent.width
            height: wind.textToTranslateField.font.pixelSize
        }

        Inline.TextFlick {
            id: destFlick

            textField.readOnly: true
            textField.color: "darkorange"
            textField.placeholderText: clangdest.displayText
        }
    }

    // The fields live inside the flickables; the controller and the panels
    // reach them by these names.
    property alias textToTranslateField: sourceFlick.textField
    property alias translatedTextField: destFlick.textField

    Item {
        id: micItem

        width: parent.width
        y: Math.min(wind.height / 2, wind.width)
        height: Math.max(0, toolbar.y - y)

        Rectangle {
            width: micImage.height * 1.6
            height: width
            radius: width / 2
            anchors.centerIn: micImage
            color: wind.isLight ? "darkorange" : "gray"
            visible: micArea.pressed && !wind.conversation
        }

        // Conversation mode: one button per language, each under its
        // language's box; made only when the mode is on.
        Loader {
            active: wind.conversation
            anchors.horizontalCenter: parent.horizontalCenter
            y: micImage.y

            sourceComponent: Row {
                objectName: "talkButtons"

                spacing: wind.font.pixelSize * 2

                TalkButton {
                    objectName: "talkForward"
                    side: "forward"
                    language: clangsource.currentLang
                    micHeight: micImage.height
                    micSource: micImage.source
                    keyHeld: talkKeys.side === "forward" && micArea.isPressed
                }
                TalkButton {
                    objectName: "talkBackward"
                    side: "backward"
                    language: clangdest.currentLang
                    micHeight: micImage.height
                    micSource: micImage.source
                    keyHeld: talkKeys.side === "backward" && micArea.isPressed
                }
            }
        }

        // The conversation's hold-to-talk keys while the window has the focus
        // and no text field takes them: Space for the first language,
        // Shift+Space for the second, held as long as the buttons.
        Item {
            id: talkKeys

            objectName: "talkKeys"

            property string side: ""

            focus: wind.conversation
            Keys.onPressed: event => Tol.talkKeyPressed(event)
            Keys.onReleased: event => Tol.talkKeyReleased(event)

            Timer {
                id: talkKeyHold

                interval: 120
                onTriggered: Tol.talkHeld(talkKeys.side)
            }
        }

        Image {
            id: micImage

            objectName: "micImage"

            z: 1
            visible: !wind.conversation
            source: wind.isLight ? "qrc:/icons/micLight.png" : "qrc:/icons/micDark.png"
            fillMode: Image.PreserveAspectFit
            cache: true
            height: Math.min(clangsource.height * 2, micItem.height / 2)
            width: height
            anchors.horizontalCenter: parent.horizontalCenter
            y: (micItem.height - height) / 2 + wind.font.pixelSize
            Accessible.role: Accessible.Button
            Accessible.name: Tol.lang(Tol.Label.speechRecognition)

            MouseArea {
                id: micArea

                objectName: "micArea"

                property bool isPressed: false

                anchors.fill: parent
                pressAndHoldInterval: 120
                onPressAndHold: Tol.micHeld()
                onReleased: Tol.micReleased()
                onCanceled: Tol.micReleased()
            }
        }
    }

    Item {
        id: toolbar

        objectName: "toolbar"

        height: 48
        width: parent.width
        anchors.bottom: parent.bottom

        Label {
            id: appTitle

            objectName: "appTitle"

            anchors.centerIn: parent
            text: "Tolka"
            font.bold: true
            font.pixelSize: 24
            textFormat: Text.PlainText

            MouseArea {
                anchors.fill: parent
                onClicked: Tol.translateField()
            }
        }

        Label {
            id: offlineMark

            objectName: "offlineMark"

            anchors.left: appTitle.right
            anchors.leftMargin: wind.font.pixelSize / 2
            anchors.baseline: appTitle.baseline
            visible: wind.service.mode === "offline"
            text: Tol.lang(Tol.Label.offline)
            textFormat: Text.PlainText
            color: wind.service.state === "failed" ? "darkorange" : "gray"
            font.pixelSize: wind.font.pixelSize * 0.85
        }

        ToolButton {
            id: toolButton

            objectName: "toolButton"

            anchors.right: parent.right
            anchors.verticalCenter: parent.verticalCenter
            icon.source: "qrc:/icons/material/menu.png"
            Accessible.name: Tol.lang(Tol.Label.settings)
            ToolTip.text: Tol.lang(Tol.Label.settings)
            ToolTip.visible: hovered
            ToolTip.delay: 600
            onClicked: Tol.open("Menus")
        }
    }

    // Said only when the offline engines are slow to start: most times they
    // are up before the notice could be read, and it would only flash by.
    Timer {
        id: offlineStartingNotice

        interval: 1500
        onTriggered: {
            if (wind.service.state === "starting")
                Tol.notify(Tol.lang(Tol.Label.offlineStarting));
        }
    }

    // The longest that work held back for the first frame waits when no
    // "FIRSTFRAME" comes.
    Timer {
        id: firstFrameLimit

        interval: 3000
        onTriggered: Tol.releaseHeldBack()
    }

    Component.onCompleted: {
        wind.visibleAtCompletion = wind.visible;
        wind.tts.init();
        wind.account.init();
        Tol.init();
        Desk.init();
        Tol.settleLanguages();
        // Built once the window is on screen: built now, it would compete
        // with the first frame for the processor.
        Tol.afterFirstFrame(() => Tol.asyncLoading("History"));
        Tol.afterFirstFrame(() => Tol.loadTranscript());
        wind.recorder.init(clangsource.currentLang);
        wind.player.init(wind.voiceVol, wind.appVol);
    }

    onActivityChanged: Desk.activityChanged()
    onConversationChanged: Desk.conversationChanged()
    onAlwaysOnTopChanged: Desk.applyOnTop()
    // Once for both when the stored settings restore them together.
    onHoldKeyOnChanged: Qt.callLater(Desk.applyHoldKey)
    onHoldKeyChanged: Qt.callLater(Desk.applyHoldKey)
    onClosing: close => Desk.closing(close)
    Component.onDestruction: Tol.windowClosing()
}
