#pragma once

#include "holdkey.h"

#include <memory>

// The hold key for the desktop Qt runs on (QGuiApplication::platformName()):
// "xcb" an X11 grab, "wayland" the desktop portal, Windows a keyboard hook;
// on any other platform one that reports Unavailable.
[[nodiscard]] std::unique_ptr<HoldKey> makeHoldKey(QObject *parent = nullptr);
