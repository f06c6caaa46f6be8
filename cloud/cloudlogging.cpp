#include "cloudlogging.h"

Q_LOGGING_CATEGORY(lcCloud, "tolka.cloud", QtInfoMsg)
