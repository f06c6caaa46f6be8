import QtQuick

// Stands in for the recorder: records every call.
FakeTts {
    function vstart(cloud) {
        record("vstart", arguments);
    }
    function vstop(cloud) {
        record("vstop", arguments);
    }
    function init(lang) {
        record("init", arguments);
    }
}
