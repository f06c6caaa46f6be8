#include "keychainstore.h"

#include <QTimer>

#include <qt6keychain/keychain.h>

#include <functional>
#include <memory>

namespace {

// Runs one job and calls back once: with its outcome, or with a failure when
// it does not answer in time.
template <typename Job> void runJob(Job *job, std::function<void(Job *, const QString &)> done)
{
    using Callback = std::function<void(Job *, const QString &)>;
    auto once = std::make_shared<Callback>(std::move(done));
    auto guard = new QTimer(job);
    guard->setSingleShot(true);
    QObject::connect(guard, &QTimer::timeout, job, [job, once] {
        if (const Callback callback = std::exchange(*once, Callback()))
            callback(job, QStringLiteral("the credential store did not answer"));
        job->deleteLater();
    });
    QObject::connect(job, &QKeychain::Job::finished, job, [job, once](QKeychain::Job *) {
        if (const Callback callback = std::exchange(*once, Callback()))
            callback(job, QString());
        job->deleteLater();
    });
    job->setAutoDelete(false);
    guard->start(KeychainStore::answerLimit);
    job->start();
}

} // namespace

KeychainStore::KeychainStore(QString service) : m_service(std::move(service))
{}

void KeychainStore::read(const QString &name, ReadDone done)
{
    auto *job = new QKeychain::ReadPasswordJob(m_service);
    job->setKey(name);
    runJob<QKeychain::ReadPasswordJob>(
        job, [done = std::move(done)](QKeychain::ReadPasswordJob *finished, const QString &timeout) {
            if (!timeout.isEmpty())
                done(std::nullopt, timeout);
            else if (finished->error() == QKeychain::NoError)
                done(finished->binaryData(), QString());
            else if (finished->error() == QKeychain::EntryNotFound)
                done(std::nullopt, QString());
            else
                done(std::nullopt, finished->errorString());
        });
}

void KeychainStore::write(const QString &name, const QByteArray &key, WriteDone done)
{
    if (key.isEmpty()) {
        auto *job = new QKeychain::DeletePasswordJob(m_service);
        job->setKey(name);
        runJob<QKeychain::DeletePasswordJob>(
            job, [done = std::move(done)](QKeychain::DeletePasswordJob *finished, const QString &timeout) {
                const bool gone =
                    finished->error() == QKeychain::NoError || finished->error() == QKeychain::EntryNotFound;
                done(!timeout.isEmpty() ? timeout : gone ? QString() : finished->errorString());
            });
        return;
    }
    auto *job = new QKeychain::WritePasswordJob(m_service);
    job->setKey(name);
    job->setBinaryData(key);
    runJob<QKeychain::WritePasswordJob>(
        job, [done = std::move(done)](QKeychain::WritePasswordJob *finished, const QString &timeout) {
            done(!timeout.isEmpty()                        ? timeout
                 : finished->error() == QKeychain::NoError ? QString()
                                                           : finished->errorString());
        });
}
