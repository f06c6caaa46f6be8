#include "credentials.h"

#include "cloudconfig.h"
#include "endpoints.h"
#include "keys.h"

namespace tolka::cloud {

QString automaticSpeechRegion()
{
    return isWestEuropeOffset(localStandardOffset()) ? QStringLiteral("westeurope")
                                                     : QStringLiteral("eastus");
}

Credentials buildCredentials()
{
    const bool westEurope = isWestEuropeOffset(localStandardOffset());
    return {automaticSpeechRegion(),          buildSpeechKey(westEurope, false),
            buildSpeechKey(westEurope, true), buildTranslatorKey(false),
            buildTranslatorKey(true),         QByteArray(config::translatorRegion)};
}

} // namespace tolka::cloud
