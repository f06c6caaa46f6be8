#include "servicelogging.h"

Q_LOGGING_CATEGORY(lcLocalService, "tolka.localservice", QtInfoMsg)
