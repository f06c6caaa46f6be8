#include "windowsholdkey.h"

#include "hotkeylogging.h"

#include <QChar>
#include <QMetaObject>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <array>

using namespace Qt::StringLiterals;

namespace {

struct KeyPair
{
    Qt::Key key;
    unsigned virtualKey;
};

constexpr std::array namedKeys{
    KeyPair{Qt::Key_Space, VK_SPACE},
    KeyPair{Qt::Key_Escape, VK_ESCAPE},
    KeyPair{Qt::Key_Tab, VK_TAB},
    KeyPair{Qt::Key_Backspace, VK_BACK},
    KeyPair{Qt::Key_Return, VK_RETURN},
    KeyPair{Qt::Key_Enter, VK_RETURN},
    KeyPair{Qt::Key_Insert, VK_INSERT},
    KeyPair{Qt::Key_Delete, VK_DELETE},
    KeyPair{Qt::Key_Pause, VK_PAUSE},
    KeyPair{Qt::Key_Print, VK_SNAPSHOT},
    KeyPair{Qt::Key_Clear, VK_CLEAR},
    KeyPair{Qt::Key_Home, VK_HOME},
    KeyPair{Qt::Key_End, VK_END},
    KeyPair{Qt::Key_Left, VK_LEFT},
    KeyPair{Qt::Key_Up, VK_UP},
    KeyPair{Qt::Key_Right, VK_RIGHT},
    KeyPair{Qt::Key_Down, VK_DOWN},
    KeyPair{Qt::Key_PageUp, VK_PRIOR},
    KeyPair{Qt::Key_PageDown, VK_NEXT},
    KeyPair{Qt::Key_Menu, VK_APPS},
    KeyPair{Qt::Key_Help, VK_HELP},
    KeyPair{Qt::Key_VolumeMute, VK_VOLUME_MUTE},
    KeyPair{Qt::Key_VolumeDown, VK_VOLUME_DOWN},
    KeyPair{Qt::Key_VolumeUp, VK_VOLUME_UP},
    KeyPair{Qt::Key_MediaNext, VK_MEDIA_NEXT_TRACK},
    KeyPair{Qt::Key_MediaPrevious, VK_MEDIA_PREV_TRACK},
    KeyPair{Qt::Key_MediaStop, VK_MEDIA_STOP},
    KeyPair{Qt::Key_MediaPlay, VK_MEDIA_PLAY_PAUSE},
};

constexpr int functionKeyCount = 24;
constexpr SHORT noKey = -1;
constexpr unsigned virtualKeyMask = 0xff;

} // namespace

WindowsHoldKey::~WindowsHoldKey()
{
    m_hook.remove();
}

QString WindowsHoldKey::backend() const
{
    return u"windows"_s;
}

unsigned WindowsHoldKey::virtualKeyOf(Qt::Key key)
{
    const int code = int(key);
    if ((code >= Qt::Key_A && code <= Qt::Key_Z) || (code >= Qt::Key_0 && code <= Qt::Key_9))
        return unsigned(code); // the virtual keys of letters and digits are their characters
    if (code >= Qt::Key_F1 && code < Qt::Key_F1 + functionKeyCount)
        return VK_F1 + unsigned(code - Qt::Key_F1);
    for (const KeyPair &pair : namedKeys) {
        if (pair.key == key)
            return pair.virtualKey;
    }
    if (code > Qt::Key_Space && code <= 0xffff) {
        // Punctuation and other characters: where the current layout has it.
        const SHORT scan = VkKeyScanW(wchar_t(QChar::toLower(char32_t(code))));
        if (scan != noKey)
            return unsigned(scan) & virtualKeyMask;
    }
    return 0;
}

void WindowsHoldKey::grab(QKeyCombination key)
{
    const unsigned virtualKey = virtualKeyOf(key.key());
    if (virtualKey == 0) {
        qCWarning(lcHotkey) << "no Windows key for" << key.key();
        setStatus(Status::Invalid);
        return;
    }
    unsigned modifiers = 0;
    const Qt::KeyboardModifiers wanted = key.keyboardModifiers();
    if (wanted.testFlag(Qt::ShiftModifier))
        modifiers |= HoldCombination::Shift;
    if (wanted.testFlag(Qt::ControlModifier))
        modifiers |= HoldCombination::Control;
    if (wanted.testFlag(Qt::AltModifier))
        modifiers |= HoldCombination::Alt;
    if (wanted.testFlag(Qt::MetaModifier))
        modifiers |= HoldCombination::Meta;

    const quint64 generation = ++m_generation;
    const bool installed =
        m_hook.install(virtualKey, modifiers, [this, generation](HoldCombination::Change change) {
            QMetaObject::invokeMethod(
                this,
                [this, generation, change] {
                    if (generation != m_generation)
                        return;
                    if (change == HoldCombination::Change::Pressed)
                        notePress();
                    else if (change == HoldCombination::Change::Released)
                        noteRelease();
                },
                Qt::QueuedConnection);
        });
    if (!installed) {
        qCWarning(lcHotkey) << "Windows refused the keyboard hook, error" << m_hook.lastError();
        setStatus(Status::Unavailable);
        return;
    }
    setStatus(Status::Bound);
}

void WindowsHoldKey::ungrab()
{
    ++m_generation;
    m_hook.remove();
}
