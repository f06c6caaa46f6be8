#pragma once

#include <cstdint>

// Watches a keyboard's keys go down and up for one combination held down:
// the key goes down while exactly the combination's modifiers are down (a
// press, which ends only when the key comes up again, whatever the
// modifiers do meanwhile); its repeats while held change nothing. The
// combination's own key events are to be swallowed while it is held, as an
// X11 grab takes them; everything else goes on. Free of Qt and of any
// platform, for the Windows keyboard hook.
class HoldCombination
{
public:
    enum Modifier : unsigned
    {
        Shift = 1,
        Control = 2,
        Alt = 4,
        Meta = 8,
    };
    // The modifier keys, each side apart: both Shift keys may be down.
    enum class ModifierKey : std::uint8_t
    {
        None,
        LeftShift,
        RightShift,
        LeftControl,
        RightControl,
        LeftAlt,
        RightAlt,
        LeftMeta,
        RightMeta,
    };
    enum class Change
    {
        None,
        Pressed,
        Released,
    };
    struct Verdict
    {
        Change change = Change::None;
        bool swallow = false;
    };

    // Watches for the key (a platform key code) with the modifiers (Modifier
    // bits); nothing is held.
    void arm(std::uint32_t key, unsigned modifiers);
    // Stops watching. Released when a press was pending.
    Change disarm();
    [[nodiscard]] bool isArmed() const { return m_armed; }
    [[nodiscard]] bool isHeld() const { return m_held; }

    // A key went down or up; modifier names it when it is a modifier key.
    // Modifier keys are followed even while not armed.
    Verdict key(std::uint32_t code, ModifierKey modifier, bool down);

private:
    [[nodiscard]] unsigned modifiersDown() const;

    std::uint32_t m_key = 0;
    unsigned m_modifiers = 0;
    bool m_armed = false;
    bool m_held = false;
    // One bit per ModifierKey (bit n for value n).
    std::uint16_t m_modifierKeysDown = 0;
};
