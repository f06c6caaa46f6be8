#include "offlinelogging.h"

Q_LOGGING_CATEGORY(lcOffline, "tolka.offline", QtInfoMsg)
