#include "focusedclient.h"

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <cstdlib>

namespace {

constexpr std::uint8_t responseTypeMask = 0x7f;
constexpr std::uint16_t windowSize = 200;

} // namespace

FocusedClient::~FocusedClient()
{
    if (m_connection)
        xcb_disconnect(m_connection);
}

bool FocusedClient::open()
{
    m_connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(m_connection))
        return false;
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
    m_root = screen->root;
    m_window = xcb_generate_id(m_connection);
    const std::uint32_t events = XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_KEY_RELEASE;
    xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_window, m_root, 0, 0, windowSize, windowSize, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_EVENT_MASK, &events);
    xcb_map_window(m_connection, m_window);
    // No window manager on the test's server: the focus is given directly,
    // and stays when the pointer moves.
    xcb_void_cookie_t focus =
        xcb_set_input_focus_checked(m_connection, XCB_INPUT_FOCUS_PARENT, m_window, XCB_CURRENT_TIME);
    xcb_generic_error_t *error = xcb_request_check(m_connection, focus);
    std::free(error);
    return error == nullptr;
}

std::uint8_t FocusedClient::keycodeOf(std::uint32_t keysym) const
{
    xcb_key_symbols_t *symbols = xcb_key_symbols_alloc(m_connection);
    xcb_keycode_t *codes = xcb_key_symbols_get_keycode(symbols, keysym);
    const std::uint8_t code = codes ? codes[0] : 0;
    std::free(codes);
    xcb_key_symbols_free(symbols);
    return code;
}

void FocusedClient::collect()
{
    std::free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
    while (xcb_generic_event_t *event = xcb_poll_for_event(m_connection)) {
        if ((event->response_type & responseTypeMask) == XCB_KEY_PRESS)
            ++m_presses[reinterpret_cast<xcb_key_press_event_t *>(event)->detail];
        std::free(event);
    }
}

int FocusedClient::presses(std::uint8_t keycode) const
{
    const auto found = m_presses.find(keycode);
    return found == m_presses.end() ? 0 : found->second;
}

bool FocusedClient::grab(std::uint8_t keycode, std::uint16_t modifiers)
{
    xcb_generic_error_t *error =
        xcb_request_check(m_connection, xcb_grab_key_checked(m_connection, 0, m_root, modifiers, keycode,
                                                             XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    std::free(error);
    return error == nullptr;
}

void FocusedClient::ungrab(std::uint8_t keycode, std::uint16_t modifiers)
{
    xcb_ungrab_key(m_connection, keycode, m_root, modifiers);
    std::free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
}
