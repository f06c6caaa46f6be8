#include "accountlogging.h"

Q_LOGGING_CATEGORY(lcAccount, "tolka.account", QtInfoMsg)
