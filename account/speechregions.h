#pragma once

#include <QStringList>

// The speech service's region identifiers a user can choose, in the order
// the account panel lists them.
namespace tolka::account {

[[nodiscard]] const QStringList &speechRegions();

} // namespace tolka::account
