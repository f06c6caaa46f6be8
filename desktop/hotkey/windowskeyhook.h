#pragma once

#include "holdcombination.h"

#include <functional>

// A low-level keyboard hook (WH_KEYBOARD_LL) that watches for one
// combination held down (holdcombination.h) and swallows the combination's
// key while it is held. The hook runs on the thread that installs it, which
// must take its messages; the listener is called there, inside the hook,
// and must return at once (Windows drops a hook that is slow to answer).
// Windows gives such a hook no context, so one at a time per process.
// Free of Qt, so that it is built and run on its own.
class WindowsKeyHook
{
public:
    using Listener = std::function<void(HoldCombination::Change)>;

    WindowsKeyHook() = default;
    WindowsKeyHook(const WindowsKeyHook &) = delete;
    WindowsKeyHook &operator=(const WindowsKeyHook &) = delete;
    ~WindowsKeyHook();

    // Watches for the virtual key with the modifiers (HoldCombination
    // modifier bits). False when Windows refuses the hook (lastError() says
    // why) or another one is installed.
    bool install(unsigned virtualKey, unsigned modifiers, Listener listener);
    // Removes the hook. Released when a press was pending; the listener is
    // not called for it.
    HoldCombination::Change remove();

    [[nodiscard]] bool isInstalled() const { return m_hook != nullptr; }
    [[nodiscard]] unsigned long lastError() const { return m_lastError; }

    // For the hook procedure: a key event; true to swallow it.
    bool handle(unsigned virtualKey, bool down);

private:
    void *m_hook = nullptr;
    unsigned long m_lastError = 0;
    HoldCombination m_combination;
    Listener m_listener;
};
