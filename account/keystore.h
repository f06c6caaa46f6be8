#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

// Where the user's subscription keys are kept: the system's credential store,
// or, where there is none, this run's memory. Answers arrive on the thread
// that asked, possibly later.
class KeyStore
{
public:
    // The key stored under name, nothing when none is; error is empty unless
    // the store could not be asked.
    using ReadDone = std::function<void(std::optional<QByteArray> key, const QString &error)>;
    // error is empty when the key was stored (or, for an empty key, removed).
    using WriteDone = std::function<void(const QString &error)>;

    virtual ~KeyStore() = default;
    virtual void read(const QString &name, ReadDone done) = 0;
    virtual void write(const QString &name, const QByteArray &key, WriteDone done) = 0;
    // False when keys live only as long as the process.
    [[nodiscard]] virtual bool isSecure() const = 0;
};
