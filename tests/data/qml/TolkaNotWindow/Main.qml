import QtQuick

Item {
    required property var tts
    required property var helper
    required property var player
    required property var recorder
}
