#pragma once

// The catalogue's constant documents. They are defined
// in catalogue/generated/, written by tools/catalogue/generate.py from the
// inputs in catalogue/data/; do not edit the generated files by hand.

#include "staticvalue.h"

namespace tolka::catalogue {

// Interface language key -> { display name -> locale code }, 79 members.
extern const StaticValue languageNames;
// "0".."25" -> English interface label.
extern const StaticValue rawLabels;
// Interface language key -> { "0".."25" -> label }, 79 members.
extern const StaticValue baseLabels;
// "android" / "macos" / "ios" -> { "name", "url" }.
extern const StaticValue storeLinks;
// Nine strings "name : role".
extern const StaticValue contributorLines;
// Locale code -> { "LocaleName", "voices": [ { "LocalName", "ShortName" } ] }, 148 members.
extern const StaticValue voiceCatalogue;
// Locale code -> translator language code ("fr-FR" -> "fr"), 148 members.
extern const StaticValue translatorCodes;
// Translator language code -> English name: every code the translator accepts.
extern const StaticValue translatorLanguages;
// "zh-Hans" / "zh-Hant" -> the Chinese locale codes written in that script.
extern const StaticValue chineseScripts;
// "0".."12" -> three layers { "offset", "blur", "spread", "padding" }.
extern const StaticValue shadowLevels;

// Small constexpr builders used by the generated sources.
namespace build {
template <std::size_t N> consteval StaticValue s(const char (&text)[N])
{
    return StaticValue::string(text);
}
constexpr StaticValue i(std::int64_t v)
{
    return StaticValue::integer(v);
}
constexpr StaticValue u(std::uint64_t v)
{
    return StaticValue::unsignedInteger(v);
}
constexpr StaticValue d(double v)
{
    return StaticValue::number(v);
}
template <std::size_t N> constexpr StaticValue arr(const StaticValue (&elements)[N])
{
    return StaticValue::array(elements);
}
template <std::size_t N> constexpr StaticValue obj(const StaticMember (&members)[N])
{
    return StaticValue::object(members);
}
} // namespace build

} // namespace tolka::catalogue
