#pragma once

#include "keystore.h"

#include <QHash>

// Keys kept in memory for this run only, where no credential store exists.
class SessionKeyStore final : public KeyStore
{
public:
    void read(const QString &name, ReadDone done) override;
    void write(const QString &name, const QByteArray &key, WriteDone done) override;
    [[nodiscard]] bool isSecure() const override { return false; }

private:
    QHash<QString, QByteArray> m_keys;
};
