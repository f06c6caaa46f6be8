#pragma once

#include "holdkey.h"

#include <QAbstractNativeEventFilter>
#include <QTimer>

#include <cstdint>
#include <vector>

struct xcb_connection_t;

// The hold key on an X server: a passive grab of the combination on the root
// window, on Qt's own connection, whose key events are taken out of Qt's
// stream by a native event filter. The server's auto-repeat is made
// detectable (XKB) while a key is bound, so that a held key sends presses
// without releases; where the server does not grant that, a release followed
// by a press of the same key at the same time is taken as a repeat.
class X11HoldKey final : public HoldKey, private QAbstractNativeEventFilter
{
    Q_OBJECT

public:
    enum class Repeats
    {
        Detectable, // ask the server for detectable auto-repeat
        Pairs,      // do not ask: repeats come as release and press pairs
    };
    Q_ENUM(Repeats)

    explicit X11HoldKey(Repeats repeats = Repeats::Detectable, QObject *parent = nullptr);
    ~X11HoldKey() override;

    [[nodiscard]] QString backend() const override;

    // How long a release waits for the press that would make it a repeat,
    // when repeats come in pairs. Both are sent together.
    static constexpr int repeatPairMs = 30;

protected:
    void grab(QKeyCombination key) override;
    void ungrab() override;

private:
    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;
    [[nodiscard]] bool isOurs(std::uint8_t keycode, std::uint32_t window) const;
    void onPress(std::uint32_t time);
    void onRelease(std::uint32_t time);
    void setDetectableRepeats(bool on);
    void releaseGrabs();

    xcb_connection_t *m_connection = nullptr;
    std::uint32_t m_root = 0;
    Repeats m_repeats;
    std::vector<std::uint8_t> m_keycodes;
    std::vector<std::uint16_t> m_grabbedModifiers;
    bool m_filtering = false;
    // Whether the server now sends repeats without releases, and whether it
    // did before this object asked it to.
    bool m_detectable = false;
    bool m_detectableBefore = false;
    // A release waiting for the press that would make it a repeat.
    QTimer m_pendingRelease;
    std::uint32_t m_releaseTime = 0;
};
