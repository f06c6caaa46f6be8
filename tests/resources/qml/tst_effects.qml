pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls.Material
import QtQuick.Controls.Material.impl
import QtTest

// Named like the main window: the shadow effect reaches the window's helper
// through the context chain, as it does in the application.
Rectangle {
    id: wind

    // Stand-in for the catalogue's helper: the shadow layers as getShadow
    // returns them, and a record of every request.
    component ShadowHelper: QtObject {
        property var requests: []

        // Per level: offset, blur, spread and padding of the three layers.
        readonly property var levels: [[[0, 0, 0, 0], [0, 0, 0, 0], [0, 0, 0, 0]], [[1, 3, 0, 6.5], [1, 1, 0, 2.5], [2, 1, -1, 0.5]], [[1, 5, 0, 10], [2, 2, 0, 5], [3, 1, -2, -1]], [[1, 8, 0, 17.5], [3, 4, 0, 9.5], [3, 3, -2, 3.5]], [[2, 4, -1, 7], [4, 5, 0, 12], [1, 10, 0, 22]], [[3, 5, -1, 8], [5, 8, 0, 18], [1, 14, 0, 29]], [[3, 5, -1, 9.5], [6, 10, 0, 21.5], [1, 18, 0, 37.5]], [[4, 5, -2, 7], [7, 10, 1, 23], [2, 16, 1, 34]], [[5, 5, -3, 6], [8, 10, 1, 22.5], [3, 14, 2, 38.5]], [[5, 6, -3, 7], [9, 12, 1, 25], [3, 16, 2, 41]], [[6, 6, -3, 7.5], [10, 14, 1, 30.5], [4, 18, 3, 46.5]], [[6, 7, -4, 7], [11, 15, 1, 33], [4, 20, 3, 51]], [[7, 8, -4, 7.5], [12, 17, 2, 39.5], [5, 22, 4, 59.5]]]
        readonly property var blurFactors: [1.1, 0.9, 0.9]
        readonly property var layerOpacities: [0.14, 0.1, 0.08]

        function getShadow(elevation: int, maxElevation: int): var {
            requests.push([elevation, maxElevation]);
            const level = Math.min(Math.max(elevation, 0), Math.min(maxElevation, 12));
            return levels[level].map((layer, j) => ({
                        offset: layer[0],
                        blur: layer[1] * blurFactors[j],
                        spread: layer[2],
                        padding: layer[3],
                        opacityLevel: layerOpacities[j]
                    }));
        }
    }

    // A card with the style's plain elevation effect.
    component Card: Rectangle {
        id: card

        required property int level

        width: 110
        height: 60
        color: "#fafafa"
        radius: 6
        layer.enabled: true
        layer.effect: ElevationEffect {
            elevation: card.level
            // The replacement's property; the linter sees the style's file.
            roundedScale: card.radius // qmllint disable missing-property
        }
    }

    readonly property ShadowHelper helper: ShadowHelper {}

    width: 480
    height: 400
    color: "white"
    Material.theme: Material.Light

    Button {
        id: swapButton

        x: 100
        y: 40
        text: "Swap"
        Material.elevation: 3
    }

    // Its style asks for ElevationEffect.qml, the button's for
    // RoundedElevationEffect.qml: both get the replacement.
    RoundButton {
        id: roundButton

        x: 260
        y: 140
        text: "R"
    }

    CheckBox {
        id: checkBox

        x: 100
        y: 140
        checked: true
    }

    Card {
        id: card8

        x: 60
        y: 260
        level: 8
    }

    Card {
        id: card12

        x: 280
        y: 260
        level: 12
    }

    // Menu items use the same indicator file.
    Menu {
        id: menu

        MenuItem {
            text: "Checkable"
            checkable: true
            checked: true
        }
        MenuItem {
            text: "Plain"
        }
    }

    TestCase {
        id: testCase

        name: "Effects"
        when: windowShown

        function findAll(item: Item, test: var, found: var): var {
            if (test(item))
                found.push(item);
            for (let i = 0; i < item.children.length; ++i)
                findAll(item.children[i], test, found);
            return found;
        }

        // Properties of the replacement types, which the linter cannot see.
        function readProperty(object: var, name: string): var {
            return object[name];
        }

        function shadowRepeaters(item: Item): var {
            return findAll(item, child => child instanceof Repeater, []);
        }

        function test_buttonLayers() {
            const repeaters = shadowRepeaters(swapButton);
            compare(repeaters.length, 1, "one shadow effect under the button");
            const repeater = repeaters[0];
            tryVerify(() => repeater.count === 3);
            verify(wind.helper.requests.some(r => r[0] === 3 && r[1] === 12), "getShadow(3, 12) asked: " + JSON.stringify(wind.helper.requests));

            const effect = repeater.parent;
            const background = swapButton.background as Rectangle;
            compare(effect.width, background.width);
            compare(effect.height, background.height);
            compare(effect.roundedScale, background.radius);
            verify(effect.source, "the layer's texture is the effect's source");

            const expected = wind.helper.getShadow(3, 12);
            for (let i = 0; i < 3; ++i) {
                const layer = repeater.itemAt(i);
                const want = expected[i];
                compare(String(layer.fragmentShader), "qrc:/effects/shadow/rectangularshade.frag.qsb");
                fuzzyCompare(layer.opacity, want.opacityLevel, 1e-9);
                fuzzyCompare(layer.x, -want.padding / 2, 1e-9);
                fuzzyCompare(layer.y, -want.padding / 2 + want.offset, 1e-9);
                fuzzyCompare(layer.width, effect.width + want.padding, 1e-9);
                fuzzyCompare(layer.height, effect.height + want.padding, 1e-9);
                fuzzyCompare(layer.blur, want.blur, 1e-9);
                compare(layer.spread, want.spread);
                compare(layer.radius, background.radius);
            }
            // Level 3: 8 × 1.1 for the first layer's blur, 3 × 0.9 for the last.
            fuzzyCompare(repeater.itemAt(0).blur, 8.8, 1e-9);
            fuzzyCompare(repeater.itemAt(2).blur, 2.7, 1e-9);
        }

        function test_buttonDrawn() {
            // The source is drawn over the shadows by the effect's last item.
            const effect = shadowRepeaters(swapButton)[0].parent;
            const top = effect.children[effect.children.length - 1];
            verify(top instanceof ShaderEffect);
            compare(top.source, effect.source);
            compare(top.width, effect.width);
            compare(top.height, effect.height);
        }

        function test_roundButtonLayers() {
            const repeaters = shadowRepeaters(roundButton);
            compare(repeaters.length, 1);
            tryVerify(() => repeaters[0].count === 3);
            // The style's default elevation of a round button at rest.
            verify(wind.helper.requests.some(r => r[0] === 2 && r[1] === 12), JSON.stringify(wind.helper.requests));
            fuzzyCompare(repeaters[0].itemAt(0).blur, 5 * 1.1, 1e-9);
        }

        function test_menuItems() {
            compare(menu.count, 2);
            for (let i = 0; i < menu.count; ++i) {
                const indicator = (menu.itemAt(i) as MenuItem).indicator;
                verify("checkState" in indicator, "replacement indicator in item " + i);
                compare(indicator.implicitWidth, 0);
            }
        }

        function requireHardwareScene() {
            // Under the test suite's Xvfb run the scene graph must use a real
            // back end; a run without it (plain offscreen) cannot draw shaders.
            if (GraphicsInfo.api === GraphicsInfo.Software && !expectHardwareScene) // qmllint disable unqualified
                skip("shader effects need a hardware scene graph back end");
            verify(GraphicsInfo.api !== GraphicsInfo.Software, "scene graph back end " + GraphicsInfo.api);
        }

        function test_shadowPixels() {
            requireHardwareScene();
            const background = swapButton.background as Rectangle;
            const topLeft = background.mapToItem(wind, 0, 0);
            const centreX = Math.round(topLeft.x + background.width / 2);
            const bottom = Math.round(topLeft.y + background.height);
            const topEdge = Math.round(topLeft.y);
            let image;
            tryVerify(() => {
                image = grabImage(wind);
                return image.red(centreX, bottom + 2) < 250;
            }, 5000, "a shadow below the button");
            const below = image.red(centreX, bottom + 2);
            const above = image.red(centreX, topEdge - 3);
            verify(below < above, "darker below (" + below + ") than above (" + above + ")");
            // The button itself is drawn, not only its shadow.
            const face = image.pixel(centreX - background.width / 4, Math.round(topLeft.y + background.height / 2));
            verify(face.r < 0.95 && face.r > 0.5, "button face " + face);
            // Far from any control nothing is drawn.
            compare(image.red(10, 10), 255);
            compare(image.red(centreX, bottom + 40), 255);
        }

        // High levels have layers with large positive and negative spreads:
        // the shade still fades out smoothly, with no hard border and no
        // inverted layer.
        function test_shadowFadesOut_data() {
            return [
                {
                    tag: "level 8",
                    card: card8
                },
                {
                    tag: "level 12",
                    card: card12
                }
            ];
        }

        function test_shadowFadesOut(data) {
            requireHardwareScene();
            const card = data.card as Card;
            const origin = card.mapToItem(wind, 0, 0);
            const right = Math.round(origin.x + card.width);
            const bottom = Math.round(origin.y + card.height);
            const middleX = Math.round(origin.x + card.width / 2);
            const middleY = Math.round(origin.y + card.height / 2);
            let image;
            tryVerify(() => {
                image = grabImage(wind);
                return image.red(right + 2, middleY) < 250;
            }, 5000, "a shade beside the card");
            const rays = [
                {
                    name: "right",
                    x: right + 2,
                    y: middleY,
                    dx: 1,
                    dy: 0
                },
                {
                    name: "down",
                    x: middleX,
                    y: bottom + 2,
                    dx: 0,
                    dy: 1
                },
                {
                    name: "left",
                    x: Math.round(origin.x) - 3,
                    y: middleY,
                    dx: -1,
                    dy: 0
                }
            ];
            for (const ray of rays) {
                let previous = image.red(ray.x, ray.y);
                verify(previous < 255, ray.name + ": shade next to the card");
                for (let i = 1; i <= 45; ++i) {
                    const value = image.red(ray.x + i * ray.dx, ray.y + i * ray.dy);
                    verify(value >= previous && value - previous <= 6, ray.name + ", " + i + " px out: " + previous + " then " + value);
                    previous = value;
                }
                compare(previous, 255, ray.name + ": the shade ends");
            }
        }

        function test_checkBoxWithoutIndicator() {
            const indicator = checkBox.indicator;
            verify(indicator, "the style still creates an indicator item");
            verify("checkState" in indicator && "control" in indicator);
            compare(readProperty(indicator, "control"), checkBox);
            compare(indicator.implicitWidth, 0);
            compare(indicator.implicitHeight, 0);
            // The style's indicator is a framed box with a check mark image.
            compare(findAll(indicator, c => c instanceof Rectangle || c instanceof Image, []).length, 0);
            // Nothing of the check box is drawn where the style's box would be.
            const image = grabImage(wind);
            const origin = checkBox.mapToItem(wind, 0, 0);
            for (let y = Math.ceil(origin.y); y < origin.y + checkBox.height; y += 2)
                for (let x = Math.ceil(origin.x); x < origin.x + checkBox.width; x += 2)
                    compare(image.red(x, y), 255, "pixel " + x + "," + y);
        }
    }
}
