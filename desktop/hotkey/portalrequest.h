#pragma once

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVariantMap>

// One call of the desktop portal that answers through a Request object: the
// call returns the request's path at once, and the outcome comes later as
// that object's Response signal. The signal is subscribed to before the
// call, on the path the portal's rule gives for the handle_token added to the
// call's options, so that an answer sent at once is not missed. The whole
// exchange, call and answer, is bounded by the given time.
class PortalRequest : public QObject
{
    Q_OBJECT

public:
    // The call's last argument must be its options map.
    PortalRequest(const QDBusConnection &bus, QDBusMessage call, int timeoutMs, QObject *parent = nullptr);
    ~PortalRequest() override;

    // A fresh token for handle_token or session_handle_token.
    [[nodiscard]] static QString makeToken();
    // The path the portal gives an object of the kind ("request",
    // "session") made for the token on this connection.
    [[nodiscard]] static QString objectPath(const QDBusConnection &bus, const QString &kind,
                                            const QString &token);

signals:
    // The portal's response code (0 success, 1 cancelled by the user, 2
    // other) and its results.
    void answered(uint response, const QVariantMap &results);
    // The call failed, or no answer came in time (QDBusError::Timeout).
    void failed(const QDBusError &error);

private slots:
    void onResponse(uint response, const QVariantMap &results);

private:
    void follow(const QString &path);
    void finish();
    void fail(const QDBusError &error);

    QDBusConnection m_bus;
    QString m_path;
    QTimer m_deadline;
    bool m_done = false;
};
