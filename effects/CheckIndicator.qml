import QtQuick

// Check indicator of the style, replaced by nothing: no panel uses check boxes
// and the style's indicator costs several animated items per control.
Item {
    required property QtObject control
    required property bool checkState
}
