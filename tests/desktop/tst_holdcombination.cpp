// The Windows hook's reading of the keyboard, on its own: which key events
// make a press and a release of the combination, and which are swallowed.
#include "holdcombination.h"

#include <QTest>

namespace {

using Change = HoldCombination::Change;
using Modifier = HoldCombination::ModifierKey;

constexpr std::uint32_t space = 0x20;
constexpr std::uint32_t letterA = 0x41;
// Codes of modifier keys do not matter to the tracker, only which they are.
constexpr std::uint32_t modifierCode = 0xa0;

struct Keys
{
    HoldCombination combination;

    HoldCombination::Verdict down(std::uint32_t key) { return combination.key(key, Modifier::None, true); }
    HoldCombination::Verdict up(std::uint32_t key) { return combination.key(key, Modifier::None, false); }
    void modifier(Modifier which, bool down) { combination.key(modifierCode, which, down); }
};

bool same(HoldCombination::Verdict verdict, Change change, bool swallow)
{
    return verdict.change == change && verdict.swallow == swallow;
}

} // namespace

class HoldCombinationTest : public QObject
{
    Q_OBJECT

private slots:
    void aHoldIsOnePressAndOneRelease()
    {
        Keys keys;
        keys.combination.arm(space, HoldCombination::Control | HoldCombination::Alt);
        keys.modifier(Modifier::LeftControl, true);
        keys.modifier(Modifier::RightAlt, true); // either side counts
        QVERIFY(same(keys.down(space), Change::Pressed, true));
        for (int repeat = 0; repeat < 3; ++repeat)
            QVERIFY(same(keys.down(space), Change::None, true));
        // Other keys meanwhile go on.
        QVERIFY(same(keys.down(letterA), Change::None, false));
        QVERIFY(same(keys.up(letterA), Change::None, false));
        // Letting go of the modifiers first does not end the hold; the key does.
        keys.modifier(Modifier::RightAlt, false);
        keys.modifier(Modifier::LeftControl, false);
        QVERIFY(keys.combination.isHeld());
        QVERIFY(same(keys.up(space), Change::Released, true));
        QVERIFY(!keys.combination.isHeld());
    }

    void otherModifiersAreNotTheCombination()
    {
        Keys keys;
        keys.combination.arm(space, HoldCombination::Control | HoldCombination::Alt);
        keys.modifier(Modifier::LeftControl, true);
        QVERIFY(same(keys.down(space), Change::None, false)); // Alt missing
        QVERIFY(same(keys.up(space), Change::None, false));
        keys.modifier(Modifier::LeftAlt, true);
        keys.modifier(Modifier::RightShift, true);
        QVERIFY(same(keys.down(space), Change::None, false)); // Shift too many
        QVERIFY(same(keys.up(space), Change::None, false));
        keys.modifier(Modifier::RightShift, false);
        QVERIFY(same(keys.down(space), Change::Pressed, true));
    }

    void bothSidesOfAModifierMustComeUp()
    {
        Keys keys;
        keys.combination.arm(letterA, HoldCombination::Control);
        keys.modifier(Modifier::LeftShift, true);
        keys.modifier(Modifier::RightShift, true);
        keys.modifier(Modifier::LeftShift, false);
        keys.modifier(Modifier::LeftControl, true);
        QVERIFY(same(keys.down(letterA), Change::None, false)); // the right Shift is still down
        keys.modifier(Modifier::RightShift, false);
        QVERIFY(same(keys.down(letterA), Change::Pressed, true));
    }

    void disarmingEndsTheHoldAndLetsTheKeyThrough()
    {
        Keys keys;
        keys.combination.arm(space, 0);
        QVERIFY(same(keys.down(space), Change::Pressed, true));
        QCOMPARE(keys.combination.disarm(), Change::Released);
        QCOMPARE(keys.combination.disarm(), Change::None);
        QVERIFY(same(keys.up(space), Change::None, false));
        QVERIFY(same(keys.down(space), Change::None, false));
    }
};

QTEST_APPLESS_MAIN(HoldCombinationTest)
#include "tst_holdcombination.moc"
