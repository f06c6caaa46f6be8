#include "applogging.h"

// Debug output is off unless enabled with QT_LOGGING_RULES="tolka.*.debug=true".
Q_LOGGING_CATEGORY(lcApp, "tolka.app", QtInfoMsg)
