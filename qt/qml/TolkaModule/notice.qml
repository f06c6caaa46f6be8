pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls.Material

// A short message above the toolbar: what happened and, where there is one,
// the way out. A click dismisses it, or it goes by itself after a while
// (longer when it offers an action). Read out by screen readers as an alert.
Popup {
    id: notice

    objectName: "Notice"

    property string text: ""
    property string actionText: ""
    property var action: null

    // Shows a message; a newer one replaces one still shown.
    function show(message: string, actionLabel: string, onAction: var): void {
        notice.text = message;
        notice.actionText = actionLabel;
        notice.action = onAction;
        closer.interval = actionLabel.length > 0 ? 9000 : 5000;
        if (notice.opened)
            closer.restart();
        else
            notice.open();
    }

    x: (wind.width - width) / 2
    y: toolbar.y - height - wind.font.pixelSize / 2
    width: Math.min(wind.width - 2 * wind.font.pixelSize, Math.max(contentItem.implicitWidth + leftPadding + rightPadding, wind.width * 0.6))
    padding: wind.font.pixelSize * 0.75
    closePolicy: Popup.CloseOnEscape
    onOpened: closer.restart()
    Material.theme: wind.isLight ? Material.Dark : Material.Light
    Material.elevation: 6

    contentItem: Row {
        spacing: wind.font.pixelSize
        Accessible.role: Accessible.AlertMessage
        Accessible.name: notice.text
        // The message first in the reading order of the interface language.
        layoutDirection: Qt.locale().textDirection

        Label {
            id: message

            objectName: "noticeText"

            width: notice.availableWidth - (actionButton.visible ? actionButton.width + parent.spacing : 0)
            anchors.verticalCenter: parent.verticalCenter
            text: notice.text
            textFormat: Text.PlainText
            wrapMode: Text.Wrap
            font.bold: true
        }

        Button {
            id: actionButton

            objectName: "noticeAction"

            anchors.verticalCenter: parent.verticalCenter
            visible: notice.actionText.length > 0
            text: notice.actionText
            flat: true
            Material.foreground: "darkorange"
            onClicked: {
                const act = notice.action;
                notice.close();
                if (act)
                    act();
            }
        }
    }

    MouseArea {
        parent: notice.background
        anchors.fill: parent
        onClicked: notice.close()
    }

    Timer {
        id: closer

        onTriggered: notice.close()
    }
}
