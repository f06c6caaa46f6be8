#pragma once

#include <QKeyCombination>
#include <QObject>
#include <QString>

// A key combination held down while another program has the focus: pressed()
// when it goes down, released() when it comes up, once each however long it
// is held (the keyboard's auto-repeat gives nothing more). One
// implementation per kind of desktop (holdkeyfactory.h).
//
// Whatever ends a hold early (unbinding, binding another key, the desktop
// taking the shortcut away) still gives the release of a pending press, so
// that a recording started by it always stops.
class HoldKey : public QObject
{
    Q_OBJECT

public:
    enum class Status
    {
        Off,         // nothing bound
        Bound,       // the combination is ours
        Unavailable, // this desktop has no global shortcuts (no X server, no portal)
        Taken,       // another program holds the combination
        Refused,     // the portal or the user declined it
        Invalid,     // a combination that cannot be bound
    };
    Q_ENUM(Status)

    explicit HoldKey(QObject *parent = nullptr) : QObject(parent) {}

    // Binds the combination in place of any earlier one. A combination
    // without a key other than modifiers and lock keys is refused as
    // Invalid. The outcome
    // may come later (statusChanged()), as it does from the portal.
    void bind(QKeyCombination key);
    // Gives up the combination; the status becomes Off.
    void unbind();

    [[nodiscard]] Status status() const { return m_status; }
    // Whether a press is waiting for its release.
    [[nodiscard]] bool isHeld() const { return m_held; }
    // "x11", "portal", "windows" or "none".
    [[nodiscard]] virtual QString backend() const = 0;

    [[nodiscard]] static QString statusName(Status status);
    // Whether the combination has a key that is neither a modifier nor a
    // lock key.
    [[nodiscard]] static bool isBindable(QKeyCombination key);

signals:
    void pressed();
    void released();
    void statusChanged();

protected:
    // Start using the combination, which is bindable; nothing is held. Set
    // the status when the outcome is known.
    virtual void grab(QKeyCombination key) = 0;
    // Stop using the combination bound last, if any.
    virtual void ungrab() = 0;

    // The combination went down: pressed() unless it is already held or
    // the status is not Bound.
    void notePress();
    // It came up: released() if it was held.
    void noteRelease();
    // Any status but Bound releases a pending press first.
    void setStatus(Status status);

private:
    Status m_status = Status::Off;
    bool m_held = false;
};
