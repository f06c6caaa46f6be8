#include "serviceaccount.h"

#include "accountlogging.h"
#include "cloudconfig.h"
#include "endpoints.h"
#include "frame.h"
#include "keys.h"
#include "localservicerunner.h"
#include "messenger.h"
#include "servicecheck.h"
#include "serviceswitch.h"
#include "sessionkeystore.h"
#include "speechregions.h"
#include "translatorcodes.h"

#ifdef TOLKA_HAVE_KEYCHAIN
#include "keychainstore.h"
#endif

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkReply>
#include <QPointer>
#include <QSettings>

using namespace Qt::StringLiterals;

using namespace tolka::cloud;

namespace {

const QString settingsGroup = QStringLiteral("account");
const QString offlineMode = QStringLiteral("offline");
const QString cloudMode = QStringLiteral("cloud");
constexpr qsizetype hintLength = 4;
const QString capabilitiesPath = QStringLiteral("/tolka/offline");

std::unique_ptr<KeyStore> platformStore()
{
#ifdef TOLKA_HAVE_KEYCHAIN
    return std::make_unique<KeychainStore>(QStringLiteral("Tolka"));
#else
    return std::make_unique<SessionKeyStore>();
#endif
}

QString storedFlag(const QString &name)
{
    return QStringLiteral("stored/") + name;
}

// The language a translator code names, as the offline engines list them.
QString languageOf(const QByteArray &locale)
{
    return QString::fromLatin1(tolka::catalogue::translatorCode(locale)).section(u'-', 0, 0).toLower();
}

bool listed(const QJsonValue &list, const QString &value)
{
    return list.toArray().contains(QJsonValue(value));
}

} // namespace

ServiceAccount::ServiceAccount(std::unique_ptr<KeyStore> store, QString serviceProgram, QObject *parent)
    : QObject(parent), m_store(std::move(store)),
      m_runner(std::make_unique<LocalServiceRunner>(std::move(serviceProgram))),
      m_check(std::make_unique<ServiceCheck>())
{
    connect(m_runner.get(), &LocalServiceRunner::ready, this, &ServiceAccount::onOfflineReady);
    connect(m_runner.get(), &LocalServiceRunner::failed, this, &ServiceAccount::onOfflineFailed);
    connect(m_runner.get(), &LocalServiceRunner::exited, this, [this] { publish(); });
    connect(m_check.get(), &ServiceCheck::finished, this,
            [](const QVariantMap &translation, const QVariantMap &speech) {
                messenger::instance()->forwardMessage(
                    QStringLiteral("ACCOUNTCHECK"), QVariantMap{{QStringLiteral("translation"), translation},
                                                                {QStringLiteral("speech"), speech}});
            });
}

ServiceAccount::~ServiceAccount()
{
    setAvailability({});
}

ServiceAccount &ServiceAccount::instance()
{
    static QPointer<ServiceAccount> account;
    if (!account) {
        // Owned by the application object, so that the offline engines stop
        // with it.
        account = new ServiceAccount(platformStore(), LocalServiceRunner::findProgram(),
                                     QCoreApplication::instance());
    }
    return *account;
}

void ServiceAccount::load()
{
    QSettings settings;
    settings.beginGroup(settingsGroup);
    m_modeSetting = settings.value(QStringLiteral("mode")).toString();
    m_speechRegion = settings.value(QStringLiteral("speechRegion")).toString();
    m_translatorRegion = settings.value(QStringLiteral("translatorRegion")).toString();
    QStringList stored;
    for (const QString &name : keyNames) {
        if (settings.value(storedFlag(name)).toBool())
            stored.append(name);
    }
    settings.endGroup();
    if (stored.isEmpty()) {
        m_loaded = true;
        apply();
        return;
    }
    // Only keys known to be stored are asked for, so that a user without
    // any is never prompted to unlock a credential store.
    auto remaining = std::make_shared<qsizetype>(stored.size());
    for (const QString &name : std::as_const(stored)) {
        m_store->read(name, [this, name, remaining](std::optional<QByteArray> key, const QString &error) {
            if (!error.isEmpty())
                storeFailed(error);
            else if (key)
                m_keys.insert(name, *key);
            if (--*remaining == 0) {
                m_loaded = true;
                apply();
            }
        });
    }
}

QString ServiceAccount::mode() const
{
    const QString forced = qEnvironmentVariable("TOLKA_MODE");
    if (forced == offlineMode || forced == cloudMode)
        return forced;
    if (!m_modeSetting.isEmpty())
        return m_modeSetting;
    // Without any account the offline engines are the only service there is;
    // a development origin names a service of its own.
    const bool account = config::buildHasKeys || hasOwnKeys() || developmentOrigin();
    return account ? cloudMode : offlineMode;
}

bool ServiceAccount::hasOwnKeys() const
{
    return !m_keys.value(QStringLiteral("speech")).isEmpty() ||
           !m_keys.value(QStringLiteral("translator")).isEmpty();
}

Credentials ServiceAccount::cloudCredentials() const
{
    Credentials credentials = buildCredentials();
    const QByteArray speech = m_keys.value(QStringLiteral("speech"));
    if (!speech.isEmpty()) {
        credentials.speechKey = speech;
        credentials.speechBackupKey = m_keys.value(QStringLiteral("speechBackup"));
        if (!m_speechRegion.isEmpty())
            credentials.speechRegion = m_speechRegion;
    }
    const QByteArray translator = m_keys.value(QStringLiteral("translator"));
    if (!translator.isEmpty()) {
        credentials.translatorKey = translator;
        credentials.translatorBackupKey = m_keys.value(QStringLiteral("translatorBackup"));
        credentials.translatorRegion = m_translatorRegion.toUtf8();
    }
    return credentials;
}

void ServiceAccount::setMode(const QString &mode)
{
    if (mode != offlineMode && mode != cloudMode) {
        qCWarning(lcAccount) << "unknown service mode" << mode << "(cloud or offline)";
        return;
    }
    m_modeSetting = mode;
    QSettings().setValue(settingsGroup + QStringLiteral("/mode"), mode);
    apply();
}

void ServiceAccount::setSpeechRegion(const QString &region)
{
    if (!region.isEmpty() && !tolka::account::speechRegions().contains(region)) {
        qCWarning(lcAccount) << "unknown speech region" << region;
        return;
    }
    m_speechRegion = region;
    QSettings().setValue(settingsGroup + QStringLiteral("/speechRegion"), region);
    apply();
}

void ServiceAccount::setTranslatorRegion(const QString &region)
{
    m_translatorRegion = region.trimmed().toLower();
    QSettings().setValue(settingsGroup + QStringLiteral("/translatorRegion"), m_translatorRegion);
    apply();
}

void ServiceAccount::setKey(const QString &name, const QByteArray &key)
{
    if (!keyNames.contains(name)) {
        qCWarning(lcAccount) << "unknown key name" << name;
        return;
    }
    // A pasted key often brings a line break or blanks along.
    const QByteArray clean = key.trimmed();
    // In use at once; the store keeps it for the next run.
    if (clean.isEmpty())
        m_keys.remove(name);
    else
        m_keys.insert(name, clean);
    apply();
    m_store->write(name, clean, [this, name, clean](const QString &error) {
        if (!error.isEmpty()) {
            storeFailed(error);
            m_store->write(name, clean, [](const QString &) {});
        }
        if (m_store->isSecure())
            QSettings().setValue(settingsGroup + u'/' + storedFlag(name), !clean.isEmpty());
        qCInfo(lcAccount).noquote() << (clean.isEmpty() ? "key removed:" : "key stored:") << name
                                    << (m_store->isSecure() ? "(credential store)" : "(this run only)");
        publish();
    });
}

void ServiceAccount::storeFailed(const QString &error)
{
    if (!m_store->isSecure())
        return;
    // The keys already read stay; new ones live as long as this run.
    m_storeError = error;
    m_store = std::make_unique<SessionKeyStore>();
    qCWarning(lcAccount).noquote() << u"keys cannot be stored securely ("_s + error +
                                          u"); they are kept for this run"_s;
}

void ServiceAccount::check()
{
    m_check->run(cloudCredentials(), developmentOrigin(), tolka::account::speechRegions());
}

void ServiceAccount::apply()
{
    if (!m_loaded)
        return;
    if (mode() == offlineMode)
        useOffline();
    else
        useCloud();
    publish();
}

void ServiceAccount::useCloud()
{
    setAvailability({});
    m_runner->stop();
    m_capabilities = {};
    useService(cloudCredentials(), developmentOrigin());
    // Requests that waited for the offline engines go to the cloud instead.
    for (const auto &send : std::exchange(m_waiting, {}))
        send();
}

void ServiceAccount::useOffline()
{
    setAvailability([this](const std::function<void()> &send) { return holdUntilReady(send); });
    if (m_runner->state() == LocalServiceRunner::State::Running)
        useService(buildCredentials(), m_runner->origin());
    else
        m_runner->start();
}

bool ServiceAccount::holdUntilReady(const std::function<void()> &send)
{
    if (m_runner->state() == LocalServiceRunner::State::Running)
        return true;
    m_waiting.append(send);
    if (m_runner->state() != LocalServiceRunner::State::Starting) {
        qCInfo(lcAccount) << "a request needs the offline engines: starting them";
        m_runner->start();
        publish();
    }
    return false;
}

void ServiceAccount::onOfflineReady()
{
    trustExtraCaFile(m_runner->caFile());
    // The local service takes the build's keys; the user's never leave for it.
    useService(buildCredentials(), m_runner->origin());
    fetchCapabilities();
    publish();
    for (const auto &send : std::exchange(m_waiting, {}))
        send();
}

void ServiceAccount::onOfflineFailed(const QString &why)
{
    if (!m_waiting.isEmpty())
        qCWarning(lcAccount) << m_waiting.size() << "request(s) dropped:" << why;
    m_waiting.clear();
    publish();
}

void ServiceAccount::fetchCapabilities()
{
    QUrl url = m_runner->origin();
    url.setPath(capabilitiesPath);
    QNetworkRequest request(url);
    request.setTransferTimeout(std::chrono::milliseconds(5000));
    QNetworkReply *reply = m_manager.get(request);
    connect(reply, &QNetworkReply::finished, this, [this, reply] {
        reply->deleteLater();
        if (reply->error() != QNetworkReply::NoError) {
            qCWarning(lcAccount) << "the offline engines did not say what they offer:"
                                 << reply->errorString();
            return;
        }
        m_capabilities = QJsonDocument::fromJson(reply->readAll()).object();
        publish();
    });
}

QStringList ServiceAccount::offlineGaps(const QByteArray &source, const QByteArray &destination) const
{
    if (m_capabilities.isEmpty())
        return {};
    QStringList gaps;
    if (!listed(m_capabilities.value(QLatin1String("recognition")), QString::fromLatin1(source)))
        gaps.append(QStringLiteral("recognition"));
    const QString from = languageOf(source);
    const QString to = languageOf(destination);
    if (from != to &&
        !m_capabilities.value(QLatin1String("translation")).toArray().contains(QJsonArray{from, to}))
        gaps.append(QStringLiteral("translation"));
    if (!listed(m_capabilities.value(QLatin1String("synthesis")), QString::fromLatin1(destination)))
        gaps.append(QStringLiteral("voice"));
    return gaps;
}

QVariantMap ServiceAccount::state() const
{
    const bool offline = mode() == offlineMode;
    QString running = QStringLiteral("ready");
    if (offline) {
        switch (m_runner->state()) {
        case LocalServiceRunner::State::Stopped:
            running = QStringLiteral("stopped");
            break;
        case LocalServiceRunner::State::Starting:
            running = QStringLiteral("starting");
            break;
        case LocalServiceRunner::State::Running:
            break;
        case LocalServiceRunner::State::Failed:
            running = QStringLiteral("failed");
            break;
        }
    }
    QVariantMap hints;
    for (const QString &name : keyNames)
        hints.insert(name, QString::fromLatin1(m_keys.value(name).right(hintLength)));
    return {{QStringLiteral("mode"), mode()},
            {QStringLiteral("state"), running},
            {QStringLiteral("failure"), offline ? m_runner->failure() : QString()},
            {QStringLiteral("secure"), m_store->isSecure()},
            {QStringLiteral("storeError"), m_storeError},
            {QStringLiteral("speechRegion"), m_speechRegion},
            {QStringLiteral("automaticRegion"), automaticSpeechRegion()},
            {QStringLiteral("translatorRegion"), m_translatorRegion},
            {QStringLiteral("keys"), hints},
            {QStringLiteral("ownKeys"), hasOwnKeys()},
            {QStringLiteral("capabilities"), m_capabilities.toVariantMap()}};
}

void ServiceAccount::publish() const
{
    messenger::instance()->forwardMessage(QStringLiteral("SERVICE"), state());
}
