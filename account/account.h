#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QString>
#include <QStringList>

// The service account handed to QML as "account": the user's keys and
// regions, the choice of cloud or offline engines, and the check. A value
// type over the process's ServiceAccount; what follows a call arrives as the
// messages "SERVICE" and "ACCOUNTCHECK".
class account
{
    Q_GADGET
public:
    // Reads the settings and keys and uses the service they name.
    Q_INVOKABLE void init();
    Q_INVOKABLE void setMode(const QString &mode);
    Q_INVOKABLE void setSpeechRegion(const QString &region);
    Q_INVOKABLE void setTranslatorRegion(const QString &region);
    // name: "speech", "speechBackup", "translator" or "translatorBackup";
    // an empty key removes it.
    Q_INVOKABLE void setKey(const QString &name, const QString &key);
    Q_INVOKABLE void check();
    [[nodiscard]] Q_INVOKABLE QStringList speechRegions() const;
    // What the offline engines lack for this pair of languages.
    [[nodiscard]] Q_INVOKABLE QStringList offlineGaps(const QByteArray &source,
                                                      const QByteArray &destination) const;
};
