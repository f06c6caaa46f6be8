#pragma once

#include "keystore.h"

#include <chrono>

// The system's credential store through QtKeychain: the Secret Service (or
// KWallet) on Linux, the Credential Manager on Windows. Every entry belongs
// to one service name.
class KeychainStore final : public KeyStore
{
public:
    // An answer that takes longer (a locked store waiting for its password,
    // say) counts as a failure; a late answer is ignored.
    static constexpr std::chrono::seconds answerLimit{30};

    explicit KeychainStore(QString service);
    void read(const QString &name, ReadDone done) override;
    void write(const QString &name, const QByteArray &key, WriteDone done) override;
    [[nodiscard]] bool isSecure() const override { return true; }

private:
    QString m_service;
};
