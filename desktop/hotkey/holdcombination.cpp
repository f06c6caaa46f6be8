#include "holdcombination.h"

namespace {

unsigned modifierOf(HoldCombination::ModifierKey key)
{
    using Key = HoldCombination::ModifierKey;
    switch (key) {
    case Key::LeftShift:
    case Key::RightShift:
        return HoldCombination::Shift;
    case Key::LeftControl:
    case Key::RightControl:
        return HoldCombination::Control;
    case Key::LeftAlt:
    case Key::RightAlt:
        return HoldCombination::Alt;
    case Key::LeftMeta:
    case Key::RightMeta:
        return HoldCombination::Meta;
    case Key::None:
        break;
    }
    return 0;
}

constexpr int firstModifierKey = int(HoldCombination::ModifierKey::LeftShift);
constexpr int lastModifierKey = int(HoldCombination::ModifierKey::RightMeta);

} // namespace

void HoldCombination::arm(std::uint32_t key, unsigned modifiers)
{
    m_key = key;
    m_modifiers = modifiers;
    m_armed = true;
    m_held = false;
}

HoldCombination::Change HoldCombination::disarm()
{
    const bool wasHeld = m_held;
    m_armed = false;
    m_held = false;
    return wasHeld ? Change::Released : Change::None;
}

unsigned HoldCombination::modifiersDown() const
{
    unsigned down = 0;
    for (int key = firstModifierKey; key <= lastModifierKey; ++key) {
        if (m_modifierKeysDown & (1U << key))
            down |= modifierOf(ModifierKey(key));
    }
    return down;
}

HoldCombination::Verdict HoldCombination::key(std::uint32_t code, ModifierKey modifier, bool down)
{
    if (modifier != ModifierKey::None) {
        const auto bit = std::uint16_t(1U << unsigned(modifier));
        m_modifierKeysDown = down ? (m_modifierKeysDown | bit) : (m_modifierKeysDown & ~bit);
        return {};
    }
    if (!m_armed || code != m_key)
        return {};
    if (down) {
        if (m_held)
            return {Change::None, true}; // a repeat
        if (modifiersDown() != m_modifiers)
            return {};
        m_held = true;
        return {Change::Pressed, true};
    }
    if (!m_held)
        return {};
    m_held = false;
    return {Change::Released, true};
}
