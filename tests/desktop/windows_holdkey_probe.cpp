// The Windows keyboard hook on its own (cross-compiled, run under Wine):
// keys injected with SendInput go through the hook, and a second hook
// installed before it, which Windows calls after it, sees what it lets
// through. Exits 0 when every check holds.
#include "windowskeyhook.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdio>
#include <vector>

namespace {

using Change = HoldCombination::Change;

constexpr DWORD settleMs = 5000;

// What the earlier hook saw: virtual key and whether it went down.
struct Seen
{
    unsigned key;
    bool down;
};
std::vector<Seen> seen;

LRESULT CALLBACK witness(int code, WPARAM message, LPARAM data)
{
    if (code == HC_ACTION) {
        const auto *event = reinterpret_cast<const KBDLLHOOKSTRUCT *>(data);
        seen.push_back({event->vkCode, message == WM_KEYDOWN || message == WM_SYSKEYDOWN});
    }
    return CallNextHookEx(nullptr, code, message, data);
}

int failures = 0;

void check(bool ok, const char *what)
{
    std::printf("%s: %s\n", ok ? "ok" : "FAILED", what);
    if (!ok)
        ++failures;
}

// Injects the keys and takes messages, which runs the hooks, until the
// witness has seen the last of them or the time is up.
void send(const std::vector<Seen> &keys)
{
    std::vector<INPUT> inputs;
    for (const Seen &key : keys) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = WORD(key.key);
        input.ki.dwFlags = key.down ? 0 : KEYEVENTF_KEYUP;
        inputs.push_back(input);
    }
    // A key of no meaning, which nothing swallows, marks the end.
    constexpr WORD marker = VK_F24;
    for (DWORD flags : {DWORD(0), DWORD(KEYEVENTF_KEYUP)}) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = marker;
        input.ki.dwFlags = flags;
        inputs.push_back(input);
    }
    const std::size_t before = seen.size();
    if (SendInput(UINT(inputs.size()), inputs.data(), sizeof(INPUT)) != inputs.size())
        std::printf("SendInput failed: %lu\n", GetLastError());
    const DWORD start = GetTickCount();
    auto markerSeen = [&] {
        for (std::size_t i = before; i < seen.size(); ++i) {
            if (seen[i].key == marker && !seen[i].down)
                return true;
        }
        return false;
    };
    while (!markerSeen() && GetTickCount() - start < settleMs) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

int count(unsigned key, std::size_t from)
{
    int n = 0;
    for (std::size_t i = from; i < seen.size(); ++i)
        n += seen[i].key == key ? 1 : 0;
    return n;
}

} // namespace

int main()
{
    HHOOK earlier = SetWindowsHookExW(WH_KEYBOARD_LL, witness, GetModuleHandleW(nullptr), 0);
    check(earlier != nullptr, "the witness hook is installed");
    if (!earlier)
        return 1;

    std::vector<Change> changes;
    WindowsKeyHook hook;
    check(hook.install(VK_SPACE, HoldCombination::Control | HoldCombination::Alt,
                       [&](Change change) { changes.push_back(change); }),
          "the hold hook is installed");
    WindowsKeyHook second;
    check(!second.install(VK_F9, 0, [](Change) {}), "a second hold hook is refused");

    // Held with repeats: one press, one release, the key swallowed.
    std::size_t from = seen.size();
    send({{VK_LCONTROL, true},
          {VK_LMENU, true},
          {VK_SPACE, true},
          {VK_SPACE, true},
          {VK_SPACE, true},
          {VK_SPACE, false},
          {VK_LMENU, false},
          {VK_LCONTROL, false}});
    check(changes == std::vector<Change>{Change::Pressed, Change::Released},
          "a hold is one press and one release");
    check(count(VK_SPACE, from) == 0, "the held key is swallowed");
    check(count(VK_LCONTROL, from) == 2 && count(VK_LMENU, from) == 2, "the modifiers go through");

    // Without Alt it is not the combination.
    changes.clear();
    from = seen.size();
    send({{VK_LCONTROL, true}, {VK_SPACE, true}, {VK_SPACE, false}, {VK_LCONTROL, false}});
    check(changes.empty(), "another combination is not a press");
    check(count(VK_SPACE, from) == 2, "another combination's key goes through");

    // Removed while held: released, and the key goes through again.
    changes.clear();
    send({{VK_LCONTROL, true}, {VK_LMENU, true}, {VK_SPACE, true}});
    check(changes == std::vector<Change>{Change::Pressed}, "pressed before the removal");
    check(hook.remove() == Change::Released, "removing the hook while held releases");
    from = seen.size();
    send({{VK_SPACE, false}, {VK_LMENU, false}, {VK_LCONTROL, false}, {VK_SPACE, true}, {VK_SPACE, false}});
    check(changes.size() == 1, "nothing after the removal");
    check(count(VK_SPACE, from) == 3, "the key goes through after the removal");

    UnhookWindowsHookEx(earlier);
    std::printf("%d failed\n", failures);
    return failures == 0 ? 0 : 1;
}
