#pragma once

#include <QKeyCombination>

#include <cstdint>
#include <optional>
#include <vector>

struct xcb_connection_t;

// What to grab on the X server for a key combination, read from the server's
// keyboard and modifier maps as they are now: every key code that gives the
// key's symbol, the modifier mask of the combination, and the variants of
// the lock modifiers (Caps Lock, Num Lock, Scroll Lock, each on or off) that
// must be grabbed too, since X matches a grab's modifiers exactly.
struct X11KeyGrab
{
    std::vector<std::uint8_t> keycodes;
    std::uint16_t modifiers = 0;
    std::vector<std::uint16_t> lockVariants;

    // Nothing when the key has no symbol or the keyboard has no key for it.
    [[nodiscard]] static std::optional<X11KeyGrab> of(xcb_connection_t *connection, QKeyCombination key);
};
