import QtQuick

// Stands in for the native transcript store: keeps what it is given.
QtObject {
    property var stored: []
    property var exported: []
    property bool cleared: false

    function load(maxEntries) {
        return stored.slice(-maxEntries);
    }
    function append(entry) {
        stored.push(entry);
        return true;
    }
    function clear() {
        stored = [];
        cleared = true;
        return true;
    }
    function format(entries, kind) {
        return kind + ":" + entries.map(e => e.sourceText + "=" + e.translation).join(";");
    }
    function exportTo(file, entries, kind) {
        exported.push({
            "file": String(file),
            "kind": kind,
            "count": entries.length
        });
        return true;
    }
}
