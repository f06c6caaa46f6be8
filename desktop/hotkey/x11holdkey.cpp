#include "x11holdkey.h"

#include "hotkeylogging.h"
#include "x11keyboard.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <xcb/xcb.h>
// xkb.h names a member "explicit", which C++ reserves.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit

#include <algorithm>
#include <cstdlib>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

struct Free
{
    void operator()(void *pointer) const { std::free(pointer); }
};
template <typename T> using Reply = std::unique_ptr<T, Free>;

constexpr std::uint8_t responseTypeMask = 0x7f;
constexpr std::uint16_t xkbMajor = 1;
constexpr std::uint16_t xkbMinor = 0;

} // namespace

X11HoldKey::X11HoldKey(Repeats repeats, QObject *parent) : HoldKey(parent), m_repeats(repeats)
{
    if (auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr) {
        m_connection = x11->connection();
        if (m_connection)
            m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
    }
    m_pendingRelease.setSingleShot(true);
    m_pendingRelease.setInterval(repeatPairMs);
    connect(&m_pendingRelease, &QTimer::timeout, this, [this] { noteRelease(); });
}

X11HoldKey::~X11HoldKey()
{
    releaseGrabs();
}

QString X11HoldKey::backend() const
{
    return u"x11"_s;
}

void X11HoldKey::grab(QKeyCombination key)
{
    if (!m_connection || xcb_connection_has_error(m_connection)) {
        qCWarning(lcHotkey) << "no X server connection: global keys are unavailable";
        setStatus(Status::Unavailable);
        return;
    }
    const std::optional<X11KeyGrab> wanted = X11KeyGrab::of(m_connection, key);
    if (!wanted) {
        setStatus(Status::Invalid);
        return;
    }

    // All requests go out before the first check, so this waits for one
    // round trip to the server, not one per grab.
    std::vector<xcb_void_cookie_t> cookies;
    for (std::uint8_t keycode : wanted->keycodes) {
        for (std::uint16_t locks : wanted->lockVariants) {
            cookies.push_back(xcb_grab_key_checked(m_connection, 0, m_root, wanted->modifiers | locks,
                                                   keycode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        }
    }
    m_keycodes = wanted->keycodes;
    for (std::uint16_t locks : wanted->lockVariants)
        m_grabbedModifiers.push_back(wanted->modifiers | locks);
    std::uint8_t errorCode = 0;
    for (const xcb_void_cookie_t &cookie : cookies) {
        if (xcb_generic_error_t *error = xcb_request_check(m_connection, cookie)) {
            errorCode = errorCode ? errorCode : error->error_code;
            std::free(error);
        }
    }
    if (errorCode != 0) {
        releaseGrabs();
        if (errorCode == XCB_ACCESS) {
            qCWarning(lcHotkey) << "another program holds" << key;
            setStatus(Status::Taken);
        } else {
            qCWarning(lcHotkey) << "the X server refused to grab" << key << "error" << errorCode;
            setStatus(Status::Invalid);
        }
        return;
    }

    if (!m_filtering) {
        QCoreApplication::instance()->installNativeEventFilter(this);
        m_filtering = true;
    }
    setDetectableRepeats(m_repeats == Repeats::Detectable);
    setStatus(Status::Bound);
}

void X11HoldKey::ungrab()
{
    releaseGrabs();
}

void X11HoldKey::releaseGrabs()
{
    m_pendingRelease.stop();
    if (m_connection && !xcb_connection_has_error(m_connection)) {
        for (std::uint8_t keycode : m_keycodes) {
            for (std::uint16_t modifiers : m_grabbedModifiers)
                xcb_ungrab_key(m_connection, keycode, m_root, modifiers);
        }
        if (!m_keycodes.empty())
            setDetectableRepeats(false);
        xcb_flush(m_connection);
    }
    m_keycodes.clear();
    m_grabbedModifiers.clear();
    if (m_filtering && QCoreApplication::instance()) {
        QCoreApplication::instance()->removeNativeEventFilter(this);
        m_filtering = false;
    }
}

void X11HoldKey::setDetectableRepeats(bool on)
{
    // The flag is the client's, so it changes how Qt's own windows get
    // repeats too: it is only changed while a key is bound, and put back
    // as it was.
    const std::uint32_t flag = XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT;
    if (on) {
        const Reply<xcb_xkb_use_extension_reply_t> use(xcb_xkb_use_extension_reply(
            m_connection, xcb_xkb_use_extension(m_connection, xkbMajor, xkbMinor), nullptr));
        if (!use || !use->supported) {
            qCInfo(lcHotkey) << "the X server has no XKB: key repeats are told apart by their timing";
            m_detectable = false;
            return;
        }
        const Reply<xcb_xkb_per_client_flags_reply_t> before(xcb_xkb_per_client_flags_reply(
            m_connection, xcb_xkb_per_client_flags(m_connection, XCB_XKB_ID_USE_CORE_KBD, 0, 0, 0, 0, 0),
            nullptr));
        m_detectableBefore = before && (before->value & flag);
        const Reply<xcb_xkb_per_client_flags_reply_t> after(xcb_xkb_per_client_flags_reply(
            m_connection,
            xcb_xkb_per_client_flags(m_connection, XCB_XKB_ID_USE_CORE_KBD, flag, flag, 0, 0, 0), nullptr));
        m_detectable = after && (after->value & flag);
        if (!m_detectable)
            qCInfo(lcHotkey)
                << "detectable auto-repeat not granted: key repeats are told apart by their timing";
        return;
    }
    if (m_detectable && !m_detectableBefore) {
        xcb_xkb_per_client_flags(m_connection, XCB_XKB_ID_USE_CORE_KBD, flag, 0, 0, 0, 0);
    }
    m_detectable = false;
}

bool X11HoldKey::isOurs(std::uint8_t keycode, std::uint32_t window) const
{
    return window == m_root && std::ranges::find(m_keycodes, keycode) != m_keycodes.end();
}

bool X11HoldKey::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
{
    if (eventType != "xcb_generic_event_t" || m_keycodes.empty())
        return false;
    const auto *event = static_cast<const xcb_generic_event_t *>(message);
    const std::uint8_t type = event->response_type & responseTypeMask;
    if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE)
        return false;
    const auto *key = reinterpret_cast<const xcb_key_press_event_t *>(event);
    if (!isOurs(key->detail, key->event))
        return false;
    if (type == XCB_KEY_PRESS)
        onPress(key->time);
    else
        onRelease(key->time);
    return true;
}

void X11HoldKey::onPress(std::uint32_t time)
{
    if (m_pendingRelease.isActive()) {
        m_pendingRelease.stop();
        if (time == m_releaseTime)
            return; // the press of a repeat pair: still held
        noteRelease();
    }
    notePress();
}

void X11HoldKey::onRelease(std::uint32_t time)
{
    if (m_detectable) {
        noteRelease();
        return;
    }
    m_releaseTime = time;
    m_pendingRelease.start();
}
