pragma Singleton

import QtQml

// Stands in for the style's calendar singleton, which the window never uses.
QtObject {}
