import QtQuick

// Stands in for the recorder: records every call.
FakeTts {
    // A slow device start: the window's background work goes on meanwhile.
    property int initMilliseconds: 0

    function vstart(cloud) {
        record("vstart", arguments);
    }
    function vstop(cloud) {
        record("vstop", arguments);
    }
    function init(lang) {
        record("init", arguments);
        const until = Date.now() + initMilliseconds;
        while (Date.now() < until) {}
    }
}
