import QtQuick
import QtTest

TestCase {
    name: "Identity"

    function test_identity() {
        compare(Application.name, "Tolka#");
        compare(Application.version, "6.11.0");
        compare(Application.organization, "Arvendel");
    }
}
