import QtQuick

Window {
    // Deliberately broken: the property type does not exist.
    property NoSuchType broken
}
