#include "holdkeysyms.h"

#include <QChar>

#include <array>

namespace {

struct NamedKey
{
    Qt::Key key;
    std::uint32_t value;
    const char *name;
};

// The keys Qt names that someone might hold to talk; the values are X's
// (keysymdef.h, XF86keysym.h).
constexpr std::array namedKeys{
    NamedKey{Qt::Key_Escape, 0xff1b, "Escape"},
    NamedKey{Qt::Key_Tab, 0xff09, "Tab"},
    NamedKey{Qt::Key_Backspace, 0xff08, "BackSpace"},
    NamedKey{Qt::Key_Return, 0xff0d, "Return"},
    NamedKey{Qt::Key_Enter, 0xff8d, "KP_Enter"},
    NamedKey{Qt::Key_Insert, 0xff63, "Insert"},
    NamedKey{Qt::Key_Delete, 0xffff, "Delete"},
    NamedKey{Qt::Key_Pause, 0xff13, "Pause"},
    NamedKey{Qt::Key_Print, 0xff61, "Print"},
    NamedKey{Qt::Key_SysReq, 0xff15, "Sys_Req"},
    NamedKey{Qt::Key_Clear, 0xff0b, "Clear"},
    NamedKey{Qt::Key_Home, 0xff50, "Home"},
    NamedKey{Qt::Key_End, 0xff57, "End"},
    NamedKey{Qt::Key_Left, 0xff51, "Left"},
    NamedKey{Qt::Key_Up, 0xff52, "Up"},
    NamedKey{Qt::Key_Right, 0xff53, "Right"},
    NamedKey{Qt::Key_Down, 0xff54, "Down"},
    NamedKey{Qt::Key_PageUp, 0xff55, "Prior"},
    NamedKey{Qt::Key_PageDown, 0xff56, "Next"},
    NamedKey{Qt::Key_Menu, 0xff67, "Menu"},
    NamedKey{Qt::Key_Help, 0xff6a, "Help"},
    NamedKey{Qt::Key_Space, 0x20, "space"},
    NamedKey{Qt::Key_VolumeDown, 0x1008ff11, "XF86AudioLowerVolume"},
    NamedKey{Qt::Key_VolumeMute, 0x1008ff12, "XF86AudioMute"},
    NamedKey{Qt::Key_VolumeUp, 0x1008ff13, "XF86AudioRaiseVolume"},
    NamedKey{Qt::Key_MediaPlay, 0x1008ff14, "XF86AudioPlay"},
    NamedKey{Qt::Key_MediaStop, 0x1008ff15, "XF86AudioStop"},
    NamedKey{Qt::Key_MediaPrevious, 0x1008ff16, "XF86AudioPrev"},
    NamedKey{Qt::Key_MediaNext, 0x1008ff17, "XF86AudioNext"},
    NamedKey{Qt::Key_MediaRecord, 0x1008ff1c, "XF86AudioRecord"},
    NamedKey{Qt::Key_MicMute, 0x1008ffb2, "XF86AudioMicMute"},
};

struct NamedCharacter
{
    char32_t character;
    const char *name;
};

constexpr std::array namedPunctuation{
    NamedCharacter{U'!', "exclam"},       NamedCharacter{U'"', "quotedbl"},
    NamedCharacter{U'#', "numbersign"},   NamedCharacter{U'$', "dollar"},
    NamedCharacter{U'%', "percent"},      NamedCharacter{U'&', "ampersand"},
    NamedCharacter{U'\'', "apostrophe"},  NamedCharacter{U'(', "parenleft"},
    NamedCharacter{U')', "parenright"},   NamedCharacter{U'*', "asterisk"},
    NamedCharacter{U'+', "plus"},         NamedCharacter{U',', "comma"},
    NamedCharacter{U'-', "minus"},        NamedCharacter{U'.', "period"},
    NamedCharacter{U'/', "slash"},        NamedCharacter{U':', "colon"},
    NamedCharacter{U';', "semicolon"},    NamedCharacter{U'<', "less"},
    NamedCharacter{U'=', "equal"},        NamedCharacter{U'>', "greater"},
    NamedCharacter{U'?', "question"},     NamedCharacter{U'@', "at"},
    NamedCharacter{U'[', "bracketleft"},  NamedCharacter{U'\\', "backslash"},
    NamedCharacter{U']', "bracketright"}, NamedCharacter{U'^', "asciicircum"},
    NamedCharacter{U'_', "underscore"},   NamedCharacter{U'`', "grave"},
    NamedCharacter{U'{', "braceleft"},    NamedCharacter{U'|', "bar"},
    NamedCharacter{U'}', "braceright"},   NamedCharacter{U'~', "asciitilde"},
};

// Function keys are consecutive in both Qt and X.
constexpr std::uint32_t firstFunctionSymbol = 0xffbe;
// X writes characters outside Latin-1 as the code point with this flag.
constexpr std::uint32_t unicodeSymbolFlag = 0x01000000;
constexpr char32_t lastLatin1 = 0xff;
// Qt's key codes below this are characters; above, named keys.
constexpr int firstNamedQtKey = 0x01000000;

QByteArray characterName(char32_t character)
{
    if ((character >= U'a' && character <= U'z') || (character >= U'0' && character <= U'9'))
        return QByteArray(1, char(character));
    for (const NamedCharacter &named : namedPunctuation) {
        if (named.character == character)
            return named.name;
    }
    // The portal's notation takes X's Unicode form for the rest.
    constexpr int digits = 4;
    return "U" + QByteArray::number(quint32(character), 16).toUpper().rightJustified(digits, '0');
}

} // namespace

std::optional<KeySymbol> keySymbolOf(Qt::Key key)
{
    const int code = int(key);
    if (code >= Qt::Key_F1 && code <= Qt::Key_F35) {
        const int number = code - Qt::Key_F1 + 1;
        return KeySymbol{firstFunctionSymbol + std::uint32_t(number - 1), "F" + QByteArray::number(number)};
    }
    for (const NamedKey &named : namedKeys) {
        if (named.key == key)
            return KeySymbol{named.value, named.name};
    }
    if (code <= Qt::Key_Space || code >= firstNamedQtKey)
        return std::nullopt;
    // Qt names a character key by its upper-case letter; X by its lower-case one.
    const char32_t character = QChar::toLower(char32_t(code));
    const std::uint32_t value = character <= lastLatin1 ? character : (unicodeSymbolFlag | character);
    return KeySymbol{value, characterName(character)};
}
