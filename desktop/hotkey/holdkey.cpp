#include "holdkey.h"

#include "hotkeylogging.h"

using namespace Qt::StringLiterals;

void HoldKey::bind(QKeyCombination key)
{
    ungrab();
    noteRelease();
    if (!isBindable(key)) {
        qCWarning(lcHotkey) << "cannot bind" << key
                            << "as a hold-to-talk key: it has no key besides modifiers";
        setStatus(Status::Invalid);
        return;
    }
    grab(key);
}

void HoldKey::unbind()
{
    ungrab();
    noteRelease();
    setStatus(Status::Off);
}

QString HoldKey::statusName(Status status)
{
    switch (status) {
    case Status::Off:
        return u"off"_s;
    case Status::Bound:
        return u"bound"_s;
    case Status::Unavailable:
        return u"unavailable"_s;
    case Status::Taken:
        return u"taken"_s;
    case Status::Refused:
        return u"refused"_s;
    case Status::Invalid:
        return u"invalid"_s;
    }
    return u"off"_s;
}

bool HoldKey::isBindable(QKeyCombination key)
{
    switch (key.key()) {
    case Qt::Key_unknown:
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    // Lock keys toggle a state: holding one is not a gesture.
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_ScrollLock:
        return false;
    default:
        return key.key() != Qt::Key(0);
    }
}

void HoldKey::notePress()
{
    // A press of nothing bound (a late signal, an event already on its
    // way) would start a recording that nothing stops.
    if (m_held || m_status != Status::Bound)
        return;
    m_held = true;
    qCDebug(lcHotkey) << "hold-to-talk key down";
    emit pressed();
}

void HoldKey::noteRelease()
{
    if (!m_held)
        return;
    m_held = false;
    qCDebug(lcHotkey) << "hold-to-talk key up";
    emit released();
}

void HoldKey::setStatus(Status status)
{
    // A key that is not bound is not held: the desktop taking it away ends
    // the hold.
    if (status != Status::Bound)
        noteRelease();
    if (status == m_status)
        return;
    m_status = status;
    qCInfo(lcHotkey).noquote() << "hold-to-talk key" << backend() << statusName(status);
    emit statusChanged();
}
