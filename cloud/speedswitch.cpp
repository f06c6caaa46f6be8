#include "speedswitch.h"

#include <QByteArray>
#include <QtGlobal>

namespace tolka::cloud {

bool SpeedSwitch::on() const
{
    if (!value) {
        const QByteArray given = qgetenv(variable);
        value = given == "0" ? false : given == "1" ? true : byDefault;
    }
    return *value;
}

} // namespace tolka::cloud
