#include "hotkeylogging.h"

Q_LOGGING_CATEGORY(lcHotkey, "tolka.hotkey", QtInfoMsg)
