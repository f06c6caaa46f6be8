#include "x11keyboard.h"

#include "holdkeysyms.h"
#include "hotkeylogging.h"

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <algorithm>
#include <cstdlib>
#include <initializer_list>
#include <memory>

namespace {

// keysymdef.h
constexpr std::uint32_t numLockSymbol = 0xff7f;
constexpr std::uint32_t scrollLockSymbol = 0xff14;
constexpr std::uint32_t altLeftSymbol = 0xffe9;
constexpr std::uint32_t altRightSymbol = 0xffea;
constexpr std::uint32_t superLeftSymbol = 0xffeb;
constexpr std::uint32_t superRightSymbol = 0xffec;
constexpr int modifierCount = 8;

struct SymbolsFree
{
    void operator()(xcb_key_symbols_t *symbols) const { xcb_key_symbols_free(symbols); }
};
using Symbols = std::unique_ptr<xcb_key_symbols_t, SymbolsFree>;

std::vector<std::uint8_t> keycodesOf(xcb_key_symbols_t *symbols, std::uint32_t symbol)
{
    std::vector<std::uint8_t> codes;
    xcb_keycode_t *found = xcb_key_symbols_get_keycode(symbols, symbol);
    if (!found)
        return codes;
    for (const xcb_keycode_t *code = found; *code != XCB_NO_SYMBOL; ++code)
        codes.push_back(*code);
    std::free(found);
    return codes;
}

// The masks of the modifiers that the server's modifier map ties to keys
// giving one of the symbols; 0 when none does.
class ModifierMap
{
public:
    ModifierMap(xcb_connection_t *connection, xcb_key_symbols_t *symbols) : m_symbols(symbols)
    {
        xcb_generic_error_t *error = nullptr;
        m_reply.reset(
            xcb_get_modifier_mapping_reply(connection, xcb_get_modifier_mapping(connection), &error));
        if (error) {
            qCWarning(lcHotkey) << "the X server's modifier map cannot be read, error" << error->error_code;
            std::free(error);
        }
    }

    [[nodiscard]] std::uint16_t maskOf(std::initializer_list<std::uint32_t> wanted,
                                       std::uint16_t fallback) const
    {
        if (!m_reply)
            return fallback;
        std::vector<std::uint8_t> codes;
        for (std::uint32_t symbol : wanted) {
            const std::vector<std::uint8_t> more = keycodesOf(m_symbols, symbol);
            codes.insert(codes.end(), more.begin(), more.end());
        }
        const int perModifier = m_reply->keycodes_per_modifier;
        const xcb_keycode_t *map = xcb_get_modifier_mapping_keycodes(m_reply.get());
        std::uint16_t mask = 0;
        for (int modifier = 0; modifier < modifierCount; ++modifier) {
            for (int i = 0; i < perModifier; ++i) {
                const xcb_keycode_t code = map[modifier * perModifier + i];
                if (code != 0 && std::ranges::find(codes, code) != codes.end())
                    mask |= std::uint16_t(1U << modifier);
            }
        }
        return mask;
    }

private:
    struct ReplyFree
    {
        void operator()(xcb_get_modifier_mapping_reply_t *reply) const { std::free(reply); }
    };
    std::unique_ptr<xcb_get_modifier_mapping_reply_t, ReplyFree> m_reply;
    xcb_key_symbols_t *m_symbols;
};

} // namespace

std::optional<X11KeyGrab> X11KeyGrab::of(xcb_connection_t *connection, QKeyCombination key)
{
    const std::optional<KeySymbol> symbol = keySymbolOf(key.key());
    if (!symbol) {
        qCWarning(lcHotkey) << "no X key symbol for" << key.key();
        return std::nullopt;
    }
    const Symbols symbols(xcb_key_symbols_alloc(connection));
    if (!symbols)
        return std::nullopt;
    X11KeyGrab grab;
    grab.keycodes = keycodesOf(symbols.get(), symbol->value);
    if (grab.keycodes.empty()) {
        qCWarning(lcHotkey) << "the keyboard has no key for" << symbol->name;
        return std::nullopt;
    }

    // Alt and Super are on Mod1 and Mod4 almost everywhere, Num Lock on Mod2;
    // the map says where they are on this server.
    const ModifierMap map(connection, symbols.get());
    const std::uint16_t alt = map.maskOf({altLeftSymbol, altRightSymbol}, XCB_MOD_MASK_1);
    const std::uint16_t super = map.maskOf({superLeftSymbol, superRightSymbol}, XCB_MOD_MASK_4);
    const Qt::KeyboardModifiers wanted = key.keyboardModifiers();
    if (wanted.testFlag(Qt::ShiftModifier))
        grab.modifiers |= XCB_MOD_MASK_SHIFT;
    if (wanted.testFlag(Qt::ControlModifier))
        grab.modifiers |= XCB_MOD_MASK_CONTROL;
    if (wanted.testFlag(Qt::AltModifier))
        grab.modifiers |= alt;
    if (wanted.testFlag(Qt::MetaModifier))
        grab.modifiers |= super;

    std::vector<std::uint16_t> locks;
    for (std::uint16_t lock : {std::uint16_t(XCB_MOD_MASK_LOCK), map.maskOf({numLockSymbol}, XCB_MOD_MASK_2),
                               map.maskOf({scrollLockSymbol}, 0)}) {
        if (lock != 0 && (lock & grab.modifiers) == 0 && std::ranges::find(locks, lock) == locks.end())
            locks.push_back(lock);
    }
    for (unsigned subset = 0; subset < (1U << locks.size()); ++subset) {
        std::uint16_t variant = 0;
        for (std::size_t i = 0; i < locks.size(); ++i) {
            if (subset & (1U << i))
                variant |= locks[i];
        }
        grab.lockVariants.push_back(variant);
    }
    return grab;
}
