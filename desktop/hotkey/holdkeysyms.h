#pragma once

#include <QByteArray>
#include <Qt>

#include <cstdint>
#include <optional>

// An X key symbol and its name, as the desktop portal's shortcut triggers
// write it ("space", "a", "F9", "Return").
struct KeySymbol
{
    std::uint32_t value = 0;
    QByteArray name;
};

// The key symbol of a Qt key: characters by their lower-case symbol, named
// keys through a table. Nothing for a key without one.
[[nodiscard]] std::optional<KeySymbol> keySymbolOf(Qt::Key key);
