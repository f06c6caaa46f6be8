import QtQuick
import QtTest
import "../qml"

// Choices survive a restart. Runs in a process of its own, so that the
// settings store starts empty.
TestCase {
    id: testCase

    function start() {
        const fixture = Qt.createQmlObject("import \"../qml\"; MainFixture {}", testCase);
        const wind = fixture.create();
        wind.visible = true;
        return wind;
    }

    function test_1_first_run_defaults() {
        const wind = start();
        compare(findChild(wind, "clangsource").currentLang, "en-US");
        compare(findChild(wind, "clangdest").currentLang, "fr-FR");
        compare(wind.voices.length, 5);
        compare(wind.currentVoice, "fr voice 0");
        compare(wind.currentShortName, "fr-FR-Voice0Neural");
        compare(wind.width, 400);
        compare(wind.height, 600);
        wind.destroy();
        wait(0);
    }

    function test_2_choices_are_restored() {
        let wind = start();
        findChild(wind, "clangsource").currentLang = "de-DE";
        findChild(wind, "clangdest").currentLang = "es-ES";
        wind.currentVoice = wind.voices[4];
        wind.currentShortName = wind.shortNames[4];
        wind.voiceVol = 0.25;
        wind.appVol = 0.75;
        wind.hasBip = false;
        wind.hasVoice = false;
        wind.isLight = false;
        findChild(wind, "customBackGround").source = "file:///pictures/lake.png";
        wind.historyModel = ["zwei", "eins"];
        wind.historyEnabled = false;
        wind.x = 31;
        wind.y = 17;
        wind.width = 380;
        wind.height = 620;
        wind.destroy();
        wait(0);

        wind = start();
        compare(findChild(wind, "clangsource").currentLang, "de-DE");
        compare(findChild(wind, "clangdest").currentLang, "es-ES");
        compare(wind.currentVoice, "es voice 4");
        compare(wind.currentShortName, "es-ES-Voice4Neural");
        compare(wind.voices.length, 20);
        compare(wind.voiceVol, 0.25);
        compare(wind.appVol, 0.75);
        verify(!wind.hasBip);
        verify(!wind.hasVoice);
        verify(!wind.isLight);
        compare(String(findChild(wind, "customBackGround").source), "file:///pictures/lake.png");
        compare(Array.from(wind.historyModel), ["zwei", "eins"]);
        verify(!wind.historyEnabled);
        compare(wind.x, 31);
        compare(wind.y, 17);
        compare(wind.width, 380);
        compare(wind.height, 620);
        wind.destroy();
        wait(0);
    }

    function test_3_geometry_off_every_screen_comes_back() {
        let wind = start();
        wind.x = 20000;
        wind.y = -9000;
        wind.destroy();
        wait(0);
        wind = start();
        const screen = Qt.application.screens[0];
        verify(wind.x >= screen.virtualX && wind.x < screen.virtualX + screen.width, "x " + wind.x);
        verify(wind.y >= screen.virtualY && wind.y < screen.virtualY + screen.height, "y " + wind.y);
        wind.destroy();
        wait(0);
    }

    name: "Persistence"
}
