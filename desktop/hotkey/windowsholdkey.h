#pragma once

#include "holdkey.h"
#include "windowskeyhook.h"

// The hold key on Windows: the low-level keyboard hook of windowskeyhook.h
// on the GUI thread, whose answers reach Qt queued, so that the hook itself
// returns at once.
class WindowsHoldKey final : public HoldKey
{
    Q_OBJECT

public:
    using HoldKey::HoldKey;
    ~WindowsHoldKey() override;

    [[nodiscard]] QString backend() const override;

    // The virtual-key code of a Qt key; 0 when it has none.
    [[nodiscard]] static unsigned virtualKeyOf(Qt::Key key);

protected:
    void grab(QKeyCombination key) override;
    void ungrab() override;

private:
    WindowsKeyHook m_hook;
    // Counts hooks installed: a queued answer of an earlier one is stale.
    quint64 m_generation = 0;
};
