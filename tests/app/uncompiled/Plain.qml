import QtQml

// A resource of the compiled-QML test that is deliberately not compiled
// ahead of time.
QtObject {
    objectName: "plain"
}
