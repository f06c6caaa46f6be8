#include "capturelogging.h"

Q_LOGGING_CATEGORY(lcCapture, "tolka.capture", QtInfoMsg)
