#pragma once

#include "devicefault.h"

#include <QString>
#include <QVariantMap>

// The value of an AUDIOERROR message: the device ("microphone" or "output")
// and, where there is one to give, the reason.
[[nodiscard]] inline QVariantMap audioErrorValue(const QString &device, DeviceFault fault)
{
    QVariantMap value{{QStringLiteral("device"), device}};
    if (const char *reason = faultReason(fault))
        value.insert(QStringLiteral("reason"), QString::fromLatin1(reason));
    return value;
}
