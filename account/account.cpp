#include "account.h"

#include "serviceaccount.h"
#include "speechregions.h"

void account::init()
{
    ServiceAccount::instance().load();
}

void account::setMode(const QString &mode)
{
    ServiceAccount::instance().setMode(mode);
}

void account::setSpeechRegion(const QString &region)
{
    ServiceAccount::instance().setSpeechRegion(region);
}

void account::setTranslatorRegion(const QString &region)
{
    ServiceAccount::instance().setTranslatorRegion(region);
}

void account::setKey(const QString &name, const QString &key)
{
    ServiceAccount::instance().setKey(name, key.toUtf8());
}

void account::check()
{
    ServiceAccount::instance().check();
}

QStringList account::speechRegions() const
{
    return tolka::account::speechRegions();
}

QStringList account::offlineGaps(const QByteArray &source, const QByteArray &destination) const
{
    return ServiceAccount::instance().offlineGaps(source, destination);
}
