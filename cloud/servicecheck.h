#pragma once

#include "credentials.h"

#include <QNetworkAccessManager>
#include <QObject>
#include <QUrl>
#include <QVariantMap>

#include <optional>

// Tests an account with the smallest real request of each service: a
// one-word translation, and the synthesis service's voice list. Each
// service's result is a map:
//   "result": "working", "keyRejected", "wrongRegion", "noNetwork",
//             "quotaUsedUp" or "failed";
//   "status": the HTTP status (0 when none arrived); "code": the service's
//   error code when it gave one; "region": for "wrongRegion", a region the
//   key does work in ("" for a global translator resource).
// A rejected key is tried in the other regions, so that a wrong region is
// told apart from a wrong key. Nothing here touches the retry gate.
class ServiceCheck : public QObject
{
    Q_OBJECT
public:
    explicit ServiceCheck(QObject *parent = nullptr);

    // Starts a check; one already running is abandoned.
    void run(const tolka::cloud::Credentials &credentials, const std::optional<QUrl> &origin,
             const QStringList &regions);

signals:
    void finished(const QVariantMap &translation, const QVariantMap &speech);

private:
    enum class Side
    {
        Translation,
        Speech
    };
    // The state of one service's check.
    struct Progress
    {
        QVariantMap result;    // set once settled
        QVariantMap rejection; // the first probe's, while other regions are tried
        int pending = 0;
    };

    void probe(Side side, const QString &region, bool first);
    [[nodiscard]] QNetworkRequest request(Side side, const QString &region) const;
    void onReply(Side side, const QString &region, bool first, QNetworkReply *reply);
    void tryOtherRegions(Side side);
    void settle(Side side, const QVariantMap &result);
    [[nodiscard]] Progress &progress(Side side)
    {
        return side == Side::Translation ? m_translation : m_speech;
    }

    QNetworkAccessManager m_manager;
    tolka::cloud::Credentials m_credentials;
    std::optional<QUrl> m_origin;
    QStringList m_regions;
    quint64 m_run = 0;
    Progress m_translation;
    Progress m_speech;
};
