import QtQuick
import QtQuick.Controls.Material

// The yardstick of the start-up benchmark: an empty window of the same style
// and size as Tolka's first start.
ApplicationWindow {
    width: 400
    height: 600
    title: "Minimal"
}
