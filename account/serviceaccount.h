#pragma once

#include "credentials.h"
#include "keystore.h"

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include <functional>
#include <memory>

class LocalServiceRunner;
class ServiceCheck;

// The user's service account and the choice between the cloud and the
// offline engines: the non-secret part in the settings, the keys in a
// KeyStore, and the client pointed at the service in use. Every change takes
// effect at once. The interface hears of it through the message channel:
// "SERVICE" with the whole state, "ACCOUNTCHECK" with the results of a check.
// Lives on the GUI thread.
class ServiceAccount : public QObject
{
    Q_OBJECT
public:
    // Key names, as stored and as the interface names them.
    static inline const QStringList keyNames{QStringLiteral("speech"), QStringLiteral("speechBackup"),
                                             QStringLiteral("translator"),
                                             QStringLiteral("translatorBackup")};

    ServiceAccount(std::unique_ptr<KeyStore> store, QString serviceProgram, QObject *parent = nullptr);
    ~ServiceAccount() override;

    // The account of the process, made by the first call with what the
    // platform offers (the credential store when it answers, else memory).
    [[nodiscard]] static ServiceAccount &instance();

    // Reads the settings and the keys, then uses the service they name.
    void load();

    void setMode(const QString &mode);               // "cloud" or "offline"
    void setSpeechRegion(const QString &region);     // empty: from the time zone
    void setTranslatorRegion(const QString &region); // empty: a global resource
    // Stores a key (an empty one removes it); the store's answer decides
    // whether it is kept securely or only for this run.
    void setKey(const QString &name, const QByteArray &key);
    void check();

    // "cloud" or "offline", as in use now.
    [[nodiscard]] QString mode() const;
    [[nodiscard]] bool hasOwnKeys() const;
    // The credentials the cloud is asked with: the user's keys where given,
    // else the build's.
    [[nodiscard]] tolka::cloud::Credentials cloudCredentials() const;
    // What is missing offline for recognising `source`, translating it into
    // `destination` and speaking that: any of "recognition", "translation",
    // "voice". Empty while the engines have not reported.
    [[nodiscard]] QStringList offlineGaps(const QByteArray &source, const QByteArray &destination) const;
    // The state sent as "SERVICE".
    [[nodiscard]] QVariantMap state() const;
    [[nodiscard]] LocalServiceRunner &runner() { return *m_runner; }

private:
    void apply();
    void useOffline();
    void useCloud();
    bool holdUntilReady(const std::function<void()> &send);
    void onOfflineReady();
    void onOfflineFailed(const QString &why);
    void fetchCapabilities();
    void storeFailed(const QString &error);
    void publish() const;

    std::unique_ptr<KeyStore> m_store;
    std::unique_ptr<LocalServiceRunner> m_runner;
    std::unique_ptr<ServiceCheck> m_check;
    QNetworkAccessManager m_manager;
    QHash<QString, QByteArray> m_keys;
    QString m_modeSetting; // empty: the default
    QString m_speechRegion;
    QString m_translatorRegion;
    QString m_storeError;
    QJsonObject m_capabilities;
    QList<std::function<void()>> m_waiting;
    bool m_loaded = false;
};
