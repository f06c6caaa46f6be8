#include "keys.h"

#include "cloudconfig.h"

namespace tolka::cloud {

QByteArray speechKey(bool westEurope, bool backup)
{
    if (westEurope)
        return backup ? QByteArray(config::speechBackupKeyWestEurope)
                      : QByteArray(config::speechKeyWestEurope);
    return backup ? QByteArray(config::speechBackupKeyEastUs) : QByteArray(config::speechKeyEastUs);
}

QByteArray translatorKey(bool backup)
{
    return backup ? QByteArray(config::translatorBackupKey) : QByteArray(config::translatorKey);
}

QByteArrayList allKeys()
{
    return {config::speechKeyWestEurope, config::speechBackupKeyWestEurope,
            config::speechKeyEastUs,     config::speechBackupKeyEastUs,
            config::translatorKey,       config::translatorBackupKey};
}

QByteArray redactKeys(QByteArray text)
{
    for (const QByteArray &key : allKeys()) {
        if (!key.isEmpty())
            text.replace(key, QByteArrayLiteral("<key>"));
    }
    return text;
}

} // namespace tolka::cloud
