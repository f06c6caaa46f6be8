#pragma once

#include <cstdint>
#include <map>

struct xcb_connection_t;

// A second X client for the X11 tests: a window on a connection of its own
// that holds the keyboard focus and counts the key events it gets; it can
// also grab a combination, as another program would.
class FocusedClient
{
public:
    FocusedClient() = default;
    FocusedClient(const FocusedClient &) = delete;
    FocusedClient &operator=(const FocusedClient &) = delete;
    ~FocusedClient();

    // Connects to $DISPLAY, shows its window and takes the focus.
    bool open();
    // The first key code of a key symbol on the server's keyboard; 0 if none.
    [[nodiscard]] std::uint8_t keycodeOf(std::uint32_t keysym) const;
    // Reads every event the server sent until now (one round trip first).
    void collect();
    [[nodiscard]] int presses(std::uint8_t keycode) const;
    void forget() { m_presses.clear(); }

    // A passive grab on the root window, as another program's shortcut;
    // false when the server refuses it.
    bool grab(std::uint8_t keycode, std::uint16_t modifiers);
    void ungrab(std::uint8_t keycode, std::uint16_t modifiers);

private:
    xcb_connection_t *m_connection = nullptr;
    std::uint32_t m_root = 0;
    std::uint32_t m_window = 0;
    std::map<std::uint8_t, int> m_presses;
};
