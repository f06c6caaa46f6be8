import QtQuick

// Creates the real main window with stand-ins for the native objects.
QtObject {
    id: fixture

    property var wind: null
    property FakeTts tts: FakeTts {}
    property FakeHelper helper: FakeHelper {}
    property FakePlayer player: FakePlayer {}
    property FakeRecorder recorder: FakeRecorder {}
    property FakeAccount account: FakeAccount {}
    property FakeTranscript transcript: FakeTranscript {}
    property FakeHotkey hotkey: FakeHotkey {}
    property FakeTray tray: FakeTray {}

    function create() {
        const component = Qt.createComponent("TolkaModule", "Main");
        if (component.status !== Component.Ready)
            throw new Error(component.errorString());
        wind = component.createObject(null, {
            "tts": tts,
            "helper": helper,
            "player": player,
            "recorder": recorder,
            "account": account,
            "transcript": transcript,
            "hotkey": hotkey,
            "tray": tray
        });
        if (!wind)
            throw new Error(component.errorString());
        return wind;
    }
}
