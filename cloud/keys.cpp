#include "keys.h"

#include "clientstate.h"
#include "cloudconfig.h"

namespace tolka::cloud {

namespace {

QByteArray primaryOr(const QByteArray &backup, const QByteArray &primary)
{
    return backup.isEmpty() ? primary : backup;
}

} // namespace

QByteArray buildSpeechKey(bool westEurope, bool backup)
{
    if (westEurope)
        return backup ? QByteArray(config::speechBackupKeyWestEurope)
                      : QByteArray(config::speechKeyWestEurope);
    return backup ? QByteArray(config::speechBackupKeyEastUs) : QByteArray(config::speechKeyEastUs);
}

QByteArray buildTranslatorKey(bool backup)
{
    return backup ? QByteArray(config::translatorBackupKey) : QByteArray(config::translatorKey);
}

QByteArrayList buildKeys()
{
    return {config::speechKeyWestEurope, config::speechBackupKeyWestEurope,
            config::speechKeyEastUs,     config::speechBackupKeyEastUs,
            config::translatorKey,       config::translatorBackupKey};
}

QByteArray speechKey(bool backup)
{
    const Credentials &c = clientState().credentials;
    return backup ? primaryOr(c.speechBackupKey, c.speechKey) : c.speechKey;
}

QByteArray translatorKey(bool backup)
{
    const Credentials &c = clientState().credentials;
    return backup ? primaryOr(c.translatorBackupKey, c.translatorKey) : c.translatorKey;
}

bool hasSpeechBackupKey()
{
    const Credentials &c = clientState().credentials;
    return !c.speechBackupKey.isEmpty() && c.speechBackupKey != c.speechKey;
}

bool hasTranslatorBackupKey()
{
    const Credentials &c = clientState().credentials;
    return !c.translatorBackupKey.isEmpty() && c.translatorBackupKey != c.translatorKey;
}

QByteArrayList allKeys()
{
    QByteArrayList keys = buildKeys();
    const Credentials &c = clientState().credentials;
    for (const QByteArray &key : {c.speechKey, c.speechBackupKey, c.translatorKey, c.translatorBackupKey}) {
        if (!key.isEmpty() && !keys.contains(key))
            keys.append(key);
    }
    return keys;
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
