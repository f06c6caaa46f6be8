#include "logging.h"

Q_LOGGING_CATEGORY(lcCloud, "tolka.cloud", QtInfoMsg)
