#include "speedswitch.h"

#include <QByteArray>
#include <QtGlobal>

namespace tolka::cloud {

bool SpeedSwitch::on() const
{
    if (!value) {
        const QByteArray given = qgetenv(variable);
        value = given.isEmpty() ? byDefault : given != "0";
    }
    return *value;
}

} // namespace tolka::cloud
