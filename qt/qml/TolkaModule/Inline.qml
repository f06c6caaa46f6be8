// No "pragma ComponentBehavior: Bound" here: bound inline components cannot
// be instantiated from other files, and these exist to be used elsewhere.
import QtQuick
import QtQuick.Controls.Material

// The module's reusable controls, used as Inline.Icon, Inline.LanguagesBox and
// Inline.TextFlick. They read the main window's ids (wind, swapLanguages,
// inputColumn, timerContainer) by name from the scope they are created in.
QtObject {
    // A flat icon-only button; the icon is tinted with `foreground`.
    component Icon: Button {
        required property string name
        property string foreground: Material.primary

        icon.source: "qrc:/icons/material/" + name + ".png"
        Material.foreground: foreground
        flat: true
        background: Item {}
        topPadding: 0
        bottomPadding: 0
        leftPadding: 0
        rightPadding: 0
        spacing: 0
        ToolTip.delay: 600
        ToolTip.visible: hovered && ToolTip.text.length > 0
    }

    // Chooser of a spoken language; `currentLang` holds its locale code.
    component LanguagesBox: ComboBox {
        id: combo

        required property string currentLang

        model: wind.languageModel
        currentIndex: wind.helper.findLocaleIndex(combo.currentLang)
        font.bold: false
        width: (wind.width - swapLanguages.width) / 2
        Accessible.name: combo.displayText

        popup.font.bold: false
        popup.width: wind.width * 0.7
        popup.topMargin: wind.SafeArea.margins.top
        popup.bottomMargin: wind.SafeArea.margins.bottom
        popup.leftMargin: wind.SafeArea.margins.left
        popup.rightMargin: wind.SafeArea.margins.right
        popup.contentItem: ListView {
            clip: true
            implicitHeight: contentHeight
            model: combo.delegateModel
            currentIndex: combo.highlightedIndex
            highlightMoveDuration: 0
            // At full opacity from the start: the style fades an always-on
            // bar in when it is made, that is at start-up for a list nobody
            // has opened yet, drawing frames for nothing.
            ScrollBar.vertical: ScrollBar {
                policy: ScrollBar.AlwaysOn
                contentItem.opacity: 1
                background.opacity: 1
                transitions: []
            }
        }

        indicator: Icon {
            name: "dropdown"
            x: combo.width - width
            anchors.verticalCenter: combo.verticalCenter
            Accessible.name: combo.displayText
            onClicked: combo.popup.open()
        }

        onActivated: {
            combo.focus = false;
            combo.currentLang = wind.helper.findLocaleValue(combo.currentValue);
        }
    }

    // A scrollable multi-line text field filling half of the input column.
    component TextFlick: Flickable {
        id: flick

        property alias textField: child

        clip: true
        width: wind.width
        contentHeight: child.height
        topMargin: inputColumn.topPadding
        height: (inputColumn.height - timerContainer.height) / 2
        boundsBehavior: Flickable.StopAtBounds

        ScrollBar.vertical: ScrollBar {
            policy: child.contentHeight > flick.height - inputColumn.topPadding ? ScrollBar.AlwaysOn : ScrollBar.AlwaysOff
            background: Item {}
        }

        TextField {
            id: child

            font.bold: true
            width: wind.width
            wrapMode: TextInput.Wrap
            verticalAlignment: TextInput.AlignTop
            placeholderTextColor: Material.primary
            height: Math.max(child.implicitHeight, flick.height - inputColumn.topPadding)
        }
    }
}
