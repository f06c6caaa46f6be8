#include "hotkey.h"

#include "holdkey.h"
#include "holdkeyfactory.h"
#include "hotkeylogging.h"
#include "messenger.h"

#include <QCoreApplication>
#include <QKeySequence>
#include <QPointer>
#include <QThread>

using namespace Qt::StringLiterals;

namespace {

// Owned by the application object, so that it goes (and lets go of its
// grab) while the platform's connection is still there.
QPointer<HoldKey> &current()
{
    static QPointer<HoldKey> key;
    return key;
}

void forwardTo(HoldKey *key)
{
    QObject::connect(key, &HoldKey::pressed, key,
                     [] { messenger::instance()->forwardMessage(u"HOLDKEYDOWN"_s, true); });
    QObject::connect(key, &HoldKey::released, key,
                     [] { messenger::instance()->forwardMessage(u"HOLDKEYUP"_s, true); });
    QObject::connect(key, &HoldKey::statusChanged, key, [key] {
        messenger::instance()->forwardMessage(u"HOLDKEYSTATUS"_s, HoldKey::statusName(key->status()));
    });
}

bool onGuiThread(const char *method)
{
    QCoreApplication *app = QCoreApplication::instance();
    if (app && QThread::currentThread() == app->thread())
        return true;
    qCWarning(lcHotkey) << "hotkey." << method << "called without an application or off its thread; ignored";
    return false;
}

// The hold key, made at the first use; null off the GUI thread.
HoldKey *holdKey(const char *method)
{
    if (!onGuiThread(method))
        return nullptr;
    QPointer<HoldKey> &key = current();
    if (!key) {
        key = makeHoldKey(QCoreApplication::instance()).release();
        forwardTo(key);
    }
    return key;
}

} // namespace

bool hotkey::setKey(const QString &portableText) const
{
    HoldKey *key = holdKey("setKey");
    if (!key)
        return false;
    const QString text = portableText.trimmed();
    if (text.isEmpty()) {
        key->unbind();
        return true;
    }
    const QKeySequence sequence = QKeySequence::fromString(text, QKeySequence::PortableText);
    if (sequence.count() != 1 || !HoldKey::isBindable(sequence[0])) {
        qCWarning(lcHotkey).noquote() << "not one key combination:" << text;
        // Unknown keys are refused as invalid, and the old key goes with them.
        key->bind(QKeyCombination(Qt::Key_unknown));
        return false;
    }
    key->bind(sequence[0]);
    return key->status() != HoldKey::Status::Invalid;
}

void hotkey::disable() const
{
    if (HoldKey *key = holdKey("disable"))
        key->unbind();
}

QString hotkey::status() const
{
    const HoldKey *key = holdKey("status");
    return HoldKey::statusName(key ? key->status() : HoldKey::Status::Off);
}

QString hotkey::backend() const
{
    const HoldKey *key = holdKey("backend");
    return key ? key->backend() : u"none"_s;
}

QString hotkey::defaultKey() const
{
    return u"Ctrl+Alt+Space"_s;
}

QString hotkey::keyText(int key, int modifiers) const
{
    // The keypad and group switch flags are not part of a combination.
    const auto wanted = Qt::KeyboardModifiers(modifiers) &
                        (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    const QKeyCombination combination(wanted, Qt::Key(key));
    if (!HoldKey::isBindable(combination))
        return {};
    return QKeySequence(combination).toString(QKeySequence::PortableText);
}

QString hotkey::shownText(const QString &portableText) const
{
    const QKeySequence sequence = QKeySequence::fromString(portableText, QKeySequence::PortableText);
    if (sequence.count() != 1 || sequence[0].key() == Qt::Key_unknown)
        return portableText;
    return sequence.toString(QKeySequence::NativeText);
}

void hotkey::useHoldKey(std::unique_ptr<HoldKey> key)
{
    if (!onGuiThread("useHoldKey"))
        return;
    QPointer<HoldKey> &held = current();
    if (held) {
        held->unbind();
        delete held.data();
    }
    if (key) {
        key->setParent(QCoreApplication::instance());
        forwardTo(key.get());
    }
    held = key.release();
}
