#include "sessionkeystore.h"

void SessionKeyStore::read(const QString &name, ReadDone done)
{
    const auto it = m_keys.constFind(name);
    done(it == m_keys.cend() ? std::nullopt : std::optional<QByteArray>(*it), QString());
}

void SessionKeyStore::write(const QString &name, const QByteArray &key, WriteDone done)
{
    if (key.isEmpty())
        m_keys.remove(name);
    else
        m_keys.insert(name, key);
    done(QString());
}
