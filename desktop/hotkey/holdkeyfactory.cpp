#include "holdkeyfactory.h"

#include "hotkeylogging.h"

#include <QGuiApplication>

#ifdef Q_OS_WIN
#include "windowsholdkey.h"
#elif defined(TOLKA_HOTKEY_FREEDESKTOP)
#include "portalholdkey.h"
#include "x11holdkey.h"
#endif

using namespace Qt::StringLiterals;

namespace {

// Platforms without global shortcuts (offscreen, eglfs, another desktop).
class NoHoldKey final : public HoldKey
{
public:
    using HoldKey::HoldKey;
    [[nodiscard]] QString backend() const override { return u"none"_s; }

protected:
    void grab(QKeyCombination) override
    {
        qCInfo(lcHotkey).noquote() << "no global keys on the platform" << QGuiApplication::platformName();
        setStatus(Status::Unavailable);
    }
    void ungrab() override {}
};

} // namespace

std::unique_ptr<HoldKey> makeHoldKey(QObject *parent)
{
#ifdef Q_OS_WIN
    return std::make_unique<WindowsHoldKey>(parent);
#else
#ifdef TOLKA_HOTKEY_FREEDESKTOP
    const QString platform = QGuiApplication::platformName();
    if (platform == "xcb"_L1)
        return std::make_unique<X11HoldKey>(X11HoldKey::Repeats::Detectable, parent);
    if (platform.startsWith("wayland"_L1))
        return std::make_unique<PortalHoldKey>(parent);
#endif
    return std::make_unique<NoHoldKey>(parent);
#endif
}
