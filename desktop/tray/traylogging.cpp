#include "traylogging.h"

Q_LOGGING_CATEGORY(lcTray, "tolka.tray", QtInfoMsg)
