#include "windowskeyhook.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace {

// The installed hook, for the procedure, which gets no context.
WindowsKeyHook *active = nullptr;

constexpr SHORT keyIsDown = SHORT(0x8000);

HoldCombination::ModifierKey modifierKeyOf(unsigned virtualKey)
{
    using Key = HoldCombination::ModifierKey;
    switch (virtualKey) {
    case VK_SHIFT: // injected input may name the side-less key
    case VK_LSHIFT:
        return Key::LeftShift;
    case VK_RSHIFT:
        return Key::RightShift;
    case VK_CONTROL:
    case VK_LCONTROL:
        return Key::LeftControl;
    case VK_RCONTROL:
        return Key::RightControl;
    case VK_MENU:
    case VK_LMENU:
        return Key::LeftAlt;
    case VK_RMENU:
        return Key::RightAlt;
    case VK_LWIN:
        return Key::LeftMeta;
    case VK_RWIN:
        return Key::RightMeta;
    default:
        return Key::None;
    }
}

LRESULT CALLBACK keyboardProc(int code, WPARAM message, LPARAM data)
{
    if (code == HC_ACTION && active) {
        const auto *event = reinterpret_cast<const KBDLLHOOKSTRUCT *>(data);
        const bool down = message == WM_KEYDOWN || message == WM_SYSKEYDOWN;
        if (active->handle(event->vkCode, down))
            return 1;
    }
    return CallNextHookEx(nullptr, code, message, data);
}

} // namespace

WindowsKeyHook::~WindowsKeyHook()
{
    remove();
}

bool WindowsKeyHook::install(unsigned virtualKey, unsigned modifiers, Listener listener)
{
    remove();
    if (active) {
        m_lastError = ERROR_ALREADY_EXISTS;
        return false;
    }
    // The modifiers already down count: the hook sees only what comes after.
    for (unsigned key :
         {VK_LSHIFT, VK_RSHIFT, VK_LCONTROL, VK_RCONTROL, VK_LMENU, VK_RMENU, VK_LWIN, VK_RWIN})
        m_combination.key(key, modifierKeyOf(key), (GetAsyncKeyState(int(key)) & keyIsDown) != 0);
    m_combination.arm(virtualKey, modifiers);
    m_listener = std::move(listener);
    m_hook = SetWindowsHookExW(WH_KEYBOARD_LL, keyboardProc, GetModuleHandleW(nullptr), 0);
    if (!m_hook) {
        m_lastError = GetLastError();
        m_combination.disarm();
        m_listener = nullptr;
        return false;
    }
    m_lastError = 0;
    active = this;
    return true;
}

HoldCombination::Change WindowsKeyHook::remove()
{
    if (!m_hook)
        return HoldCombination::Change::None;
    UnhookWindowsHookEx(static_cast<HHOOK>(m_hook));
    m_hook = nullptr;
    if (active == this)
        active = nullptr;
    m_listener = nullptr;
    return m_combination.disarm();
}

bool WindowsKeyHook::handle(unsigned virtualKey, bool down)
{
    const HoldCombination::Verdict verdict = m_combination.key(virtualKey, modifierKeyOf(virtualKey), down);
    if (verdict.change != HoldCombination::Change::None && m_listener)
        m_listener(verdict.change);
    return verdict.swallow;
}
