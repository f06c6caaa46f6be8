#pragma once

#include <QLoggingCategory>

// The local service and its engines: "tolka.localservice".
Q_DECLARE_LOGGING_CATEGORY(lcLocalService)
