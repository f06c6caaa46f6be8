#include "speechregions.h"

namespace tolka::account {

const QStringList &speechRegions()
{
    static const QStringList regions{QStringLiteral("westeurope"),
                                     QStringLiteral("northeurope"),
                                     QStringLiteral("eastus"),
                                     QStringLiteral("eastus2"),
                                     QStringLiteral("westus"),
                                     QStringLiteral("westus2"),
                                     QStringLiteral("centralindia"),
                                     QStringLiteral("southeastasia"),
                                     QStringLiteral("japaneast"),
                                     QStringLiteral("australiaeast"),
                                     QStringLiteral("uksouth"),
                                     QStringLiteral("francecentral"),
                                     QStringLiteral("germanywestcentral"),
                                     QStringLiteral("switzerlandnorth"),
                                     QStringLiteral("swedencentral"),
                                     QStringLiteral("canadacentral"),
                                     QStringLiteral("brazilsouth")};
    return regions;
}

} // namespace tolka::account
