#pragma once

#include "holdkey.h"

#include <QList>

// A hold key driven by the test: press(), release() and the status a
// binding gets are the script's; what it was asked to do is recorded.
class ScriptedHoldKey final : public HoldKey
{
    Q_OBJECT

public:
    using HoldKey::HoldKey;

    [[nodiscard]] QString backend() const override;

    void press() { notePress(); }
    void release() { noteRelease(); }
    // As when the desktop changes it, e.g. takes the shortcut away.
    void changeStatus(Status status) { setStatus(status); }

    // What the next bindings report.
    Status bindStatus = Status::Bound;
    // The combinations the implementation was asked to grab, in order.
    QList<QKeyCombination> grabbed;
    int ungrabs = 0;

protected:
    void grab(QKeyCombination key) override;
    void ungrab() override { ++ungrabs; }
};
