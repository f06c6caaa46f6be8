#pragma once

#include <QMetaType>
#include <QString>

#include <memory>

class HoldKey;

// The global hold-to-talk key for QML, handed over as "hotkey". A gadget
// without data members: every copy drives the one process-wide hold key
// (holdkeyfactory.h), made on the GUI thread at first use. The window hears
// of it through messages: "HOLDKEYDOWN" (true) when the key goes down,
// "HOLDKEYUP" (true) when it comes up, once each per hold, and
// "HOLDKEYSTATUS" (status()) when the status changes.
class hotkey
{
    Q_GADGET

public:
    constexpr hotkey() = default;

    // Binds one combination written as QKeySequence::PortableText, e.g.
    // "Ctrl+Alt+Space"; an empty text turns the key off. False, with the
    // status "invalid" and nothing bound, for anything else than one
    // bindable combination. Whether the desktop grants it may be told later
    // ("HOLDKEYSTATUS").
    Q_INVOKABLE bool setKey(const QString &portableText) const;
    // Unbinds the key; a press still held is released.
    Q_INVOKABLE void disable() const;
    // "off", "bound", "unavailable", "taken", "refused" or "invalid".
    [[nodiscard]] Q_INVOKABLE QString status() const;
    // "x11", "portal", "windows" or "none".
    [[nodiscard]] Q_INVOKABLE QString backend() const;
    // The combination offered until the user chooses another.
    [[nodiscard]] Q_INVOKABLE QString defaultKey() const;
    // The portable text of a key event's key and modifiers (Qt.Key_...,
    // Qt.ControlModifier...), for setKey; empty when the key is a modifier
    // or a lock key, which is the start of a combination, not one.
    [[nodiscard]] Q_INVOKABLE QString keyText(int key, int modifiers) const;
    // A portable text as the user reads it on this system (e.g. with the
    // Mac's symbols); the text itself when it is not one combination.
    [[nodiscard]] Q_INVOKABLE QString shownText(const QString &portableText) const;

    // Replaces the process-wide hold key (tests give a scripted one); the
    // one it replaces is unbound and deleted. Call on the GUI thread.
    static void useHoldKey(std::unique_ptr<HoldKey> key);
};

Q_DECLARE_METATYPE(hotkey)
