#include "helper.h"

#include "catalogue.h"
#include "cataloguelogging.h"
#include "documents.h"

#include <QHash>
#include <QLocale>

#include <algorithm>
#include <array>
#include <exception>
#include <stdexcept>
#include <string_view>

namespace tolka::catalogue {
namespace {

// The Chinese codes of one script, from the generated data.
const StaticValue &zhHant()
{
    return chineseScripts["zh-Hant"];
}

const StaticValue &zhHans()
{
    return chineseScripts["zh-Hans"];
}

std::string_view view(QByteArrayView b)
{
    return std::string_view(b.data(), size_t(b.size()));
}

QByteArray bytes(std::string_view s)
{
    return QByteArray(s.data(), qsizetype(s.size()));
}

// An empty but non-null byte string: QML turns a null QByteArray into an
// unusable (detached) ArrayBuffer.
QByteArray emptyBytes()
{
    return QByteArray("");
}

QByteArray bytes(const StaticValue &v)
{
    return bytes(v.text());
}

bool contains(const StaticValue &set, std::string_view code)
{
    return std::ranges::any_of(set.elements(),
                               [code](const StaticValue &c) { return sameBytes(c.text(), code); });
}

QByteArrayList toList(const StaticValue &set)
{
    QByteArrayList out;
    out.reserve(qsizetype(set.size()));
    for (const StaticValue &s : set.elements())
        out.append(bytes(s));
    return out;
}

bool isSupported(std::string_view code)
{
    return voiceCatalogue.find(code) != nullptr;
}

struct SystemLocale
{
    QByteArray code;
    QByteArray language;
};

SystemLocale &systemLocale()
{
    static SystemLocale cache;
    return cache;
}

// The interface language's member of languageNames, located once.
const StaticValue &namesEntry()
{
    static const StaticValue &entry = languageNames[view(interfaceLanguage())];
    return entry;
}

struct LabelsEntry
{
    QByteArray key;
    const StaticValue *entry;
};

const LabelsEntry &labelsEntry()
{
    static const LabelsEntry cache = [] {
        QByteArray key = interfaceLanguage();
        const StaticValue &entry = baseLabels[view(key)];
        return LabelsEntry{key, &entry};
    }();
    return cache;
}

QVariantMap &storeCache()
{
    static QVariantMap cache;
    return cache;
}

QHash<qsizetype, QvhList> &shadowCache()
{
    static QHash<qsizetype, QvhList> cache;
    return cache;
}

qsizetype shadowReads = 0;

constexpr std::array<double, 3> blurFactors = {1.1, 0.9, 0.9};
constexpr std::array<double, 3> layerOpacities = {0.14, 0.1, 0.08};

} // namespace

QByteArrayList zhHantCodes()
{
    return toList(zhHant());
}

QByteArrayList zhHansCodes()
{
    return toList(zhHans());
}

QByteArrayList supportedCodes()
{
    QByteArrayList out;
    out.reserve(qsizetype(voiceCatalogue.size()));
    for (const StaticMember &m : voiceCatalogue.members())
        out.append(bytes(m.key));
    return out;
}

QByteArrayList interfaceLanguages()
{
    QByteArrayList out;
    out.reserve(qsizetype(baseLabels.size()));
    for (const StaticMember &m : baseLabels.members())
        out.append(bytes(m.key));
    return out;
}

QByteArray languageKey(QByteArrayView code)
{
    const std::string_view c = view(code);
    if (contains(zhHant(), c))
        return QByteArrayLiteral("zh-Hant");
    if (contains(zhHans(), c))
        return QByteArrayLiteral("zh-Hans");
    const qsizetype dash = code.indexOf('-');
    return dash >= 1 ? code.first(dash).toByteArray() : code.toByteArray();
}

QByteArray currentLang(bool languageOnly)
{
    SystemLocale &cache = systemLocale();
    if (cache.code.isEmpty()) {
        const QByteArray name = QLocale::system().name(QLocale::TagSeparator::Dash).toUtf8();
        cache.code = isSupported(view(name)) ? name : QByteArrayLiteral("en-US");
        const qsizetype dash = cache.code.indexOf('-');
        cache.language = dash >= 1 ? cache.code.first(dash) : cache.code;
    }
    return languageOnly ? cache.language : cache.code;
}

QByteArray interfaceLanguage()
{
    return languageKey(currentLang(false));
}

QByteArrayList baseModel()
{
    static const QByteArrayList model = [] {
        const StaticValue &entry = namesEntry();
        QByteArrayList list;
        list.reserve(qsizetype(entry.size()));
        for (const StaticMember &m : entry.members())
            list.append(bytes(m.key));
        return list;
    }();
    return model;
}

QByteArray findLocaleValue(QByteArrayView name)
{
    return bytes(namesEntry()[view(name)]);
}

qsizetype findLocaleIndex(QByteArrayView code)
{
    const StaticValue wanted = StaticValue::string(code.data(), size_t(code.size()));
    const auto members = namesEntry().members();
    qsizetype index = 0;
    for (const StaticMember &m : members) {
        if (m.value.sameString(wanted))
            return index;
        ++index;
    }
    return index;
}

qsizetype localeCount()
{
    return qsizetype(namesEntry().size());
}

QByteArray baseLabel(qsizetype id)
{
    const StaticValue &entry = *labelsEntry().entry;
    const size_t n = entry.size();
    const size_t uid = size_t(id);
    if (uid < n)
        return bytes(entry.isArray() ? entry.at(uid) : entry.valueAt(uid));
    if (uid >= size_t(labelCount))
        return emptyBytes();
    return bytes(rawLabels.valueAt(uid));
}

QByteArray rawLabel(qsizetype id)
{
    if (size_t(id) >= size_t(labelCount))
        return emptyBytes();
    return bytes(rawLabels.valueAt(size_t(id)));
}

QVariantMap store(QByteArrayView productType)
{
    QVariantMap &cache = storeCache();
    if (!cache.isEmpty())
        return cache;
    const StaticValue *entry = storeLinks.find(view(productType));
    if (!entry)
        return {};
    QVariantMap map;
    map.insert(QStringLiteral("name"), bytes((*entry)["name"]));
    map.insert(QStringLiteral("url"), bytes((*entry)["url"]));
    cache = map;
    return cache;
}

QByteArrayList contributors()
{
    static const QByteArrayList lines = [] {
        QByteArrayList list;
        list.reserve(qsizetype(contributorLines.size()));
        for (const StaticValue &v : contributorLines.elements())
            list.append(bytes(v));
        return list;
    }();
    return lines;
}

QVariantMap extractVoices(QByteArrayView language)
{
    const StaticValue &entry = voiceCatalogue[view(language)];
    if (entry.size() == 0)
        return {};
    const StaticValue &voices = entry["voices"];
    QByteArrayList localNames;
    QByteArrayList shortNames;
    localNames.reserve(qsizetype(voices.size()));
    shortNames.reserve(qsizetype(voices.size()));
    for (const StaticValue &voice : voices.elements()) {
        localNames.append(bytes(voice["LocalName"]));
        shortNames.append(bytes(voice["ShortName"]));
    }
    QVariantMap map;
    map.insert(QStringLiteral("tempVoices"), QVariant::fromValue(localNames));
    map.insert(QStringLiteral("tempNames"), QVariant::fromValue(shortNames));
    return map;
}

bool isVoiceName(QByteArrayView shortName)
{
    // A short name is its locale, a dash and the voice's name.
    const qsizetype dash = shortName.lastIndexOf('-');
    if (dash < 1)
        return false;
    const StaticValue *entry = voiceCatalogue.find(view(shortName.first(dash)));
    if (!entry)
        return false;
    const auto voices = (*entry)["voices"].elements();
    return std::ranges::any_of(voices, [&](const StaticValue &voice) {
        return sameBytes(voice["ShortName"].text(), view(shortName));
    });
}

QByteArrayList sortHistory(QByteArrayList list, const QByteArray &text)
{
    const qsizetype at = list.indexOf(text);
    if (at >= 0)
        list.removeAt(at);
    list.prepend(text);
    if (list.size() > 10)
        return list.first(10);
    return list;
}

bool compare(const QByteArrayList &a, const QByteArrayList &b)
{
    if (a.size() != b.size())
        return false;
    if (a.isSharedWith(b))
        return true;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (a.at(i).size() != b.at(i).size() || a.at(i) != b.at(i))
            return false;
    }
    return true;
}

QvhList shadow(qsizetype elevation, qsizetype maxElevation)
{
    const qsizetype level =
        std::min(std::max(elevation, qsizetype(0)), std::min(maxElevation, qsizetype(12)));
    QvhList &cached = shadowCache()[level];
    if (!cached.isEmpty())
        return cached;
    ++shadowReads;
    const StaticValue &layers = shadowLevels.valueAt(size_t(level));
    cached.reserve(qsizetype(layers.size()));
    size_t j = 0;
    for (const StaticValue &layer : layers.elements()) {
        const double offset = layer["offset"].toDouble();
        const double blur = layer["blur"].toDouble();
        const double padding = layer["padding"].toDouble();
        const double spread = layer["spread"].toDouble();
        QMap<QString, QVariant> map;
        map.insert(QStringLiteral("offset"), offset);
        map.insert(QStringLiteral("blur"), blur * blurFactors.at(j));
        map.insert(QStringLiteral("padding"), padding);
        map.insert(QStringLiteral("spread"), spread);
        map.insert(QStringLiteral("opacityLevel"), layerOpacities.at(j));
        cached.append(map);
        ++j;
    }
    return cached;
}

qsizetype shadowTableReads()
{
    return shadowReads;
}

} // namespace tolka::catalogue

namespace {

void registerCatalogueTypes()
{
    qRegisterMetaType<QvhList>("QvhList");
}
Q_CONSTRUCTOR_FUNCTION(registerCatalogueTypes)

// Runs `body`; on a std::exception logs a warning naming the method and its
// argument and returns `fallback`.
template <typename Body, typename Result>
Result guarded(const char *method, const QByteArray &argument, Body body, Result fallback)
{
    try {
        return body();
    } catch (const std::exception &e) {
        qCWarning(lcCatalogue, "helper::%s(%s) failed: %s", method, argument.constData(), e.what());
        return fallback;
    }
}

QByteArray number(qsizetype n)
{
    return QByteArray::number(n);
}

} // namespace

namespace cat = tolka::catalogue;

QByteArrayList helper::sortHistory(QByteArrayList list, QByteArray text) const
{
    return guarded(
        "sortHistory", '"' + text + '"', [&] { return cat::sortHistory(std::move(list), text); },
        QByteArrayList());
}

bool helper::compare(QByteArrayList a, QByteArrayList b) const
{
    return guarded(
        "compare", number(a.size()) + " and " + number(b.size()) + " entries",
        [&] { return cat::compare(a, b); }, false);
}

QVariantMap helper::extractVoices(QByteArray language) const
{
    return guarded(
        "extractVoices", '"' + language + '"', [&] { return cat::extractVoices(language); }, QVariantMap());
}

QByteArray helper::findLocaleValue(QByteArray name) const
{
    return guarded(
        "findLocaleValue", '"' + name + '"', [&] { return cat::findLocaleValue(name); }, QByteArray(""));
}

qsizetype helper::findLocaleIndex(QByteArray code) const
{
    try {
        return cat::findLocaleIndex(code);
    } catch (const std::exception &e) {
        qCWarning(lcCatalogue, "helper::findLocaleIndex(\"%s\") failed: %s", code.constData(), e.what());
        try {
            return cat::localeCount();
        } catch (const std::exception &) {
            return 0;
        }
    }
}

QByteArray helper::getCurrentLang(bool languageOnly) const
{
    return guarded(
        "getCurrentLang", languageOnly ? QByteArray("true") : QByteArray("false"),
        [&] { return cat::currentLang(languageOnly); }, QByteArray(""));
}

bool helper::isDesktop() const
{
    return true;
}

QVariantMap helper::getStore(QByteArray productType) const
{
    return guarded(
        "getStore", '"' + productType + '"', [&] { return cat::store(productType); }, QVariantMap());
}

QvhList helper::getShadow(qsizetype elevation, qsizetype maxElevation) const
{
    return guarded(
        "getShadow", number(elevation) + ", " + number(maxElevation),
        [&] { return cat::shadow(elevation, maxElevation); }, QvhList());
}

QByteArray helper::getBaseLabel(qsizetype id) const
{
    return guarded("getBaseLabel", number(id), [&] { return cat::baseLabel(id); }, QByteArray(""));
}

QByteArrayList helper::contributors() const
{
    return guarded("contributors", QByteArray(), [] { return cat::contributors(); }, QByteArrayList());
}

QByteArrayList helper::getBaseModel() const
{
    return guarded("getBaseModel", QByteArray(), [] { return cat::baseModel(); }, QByteArrayList());
}

QByteArray helper::getRawLabel(qsizetype id) const
{
    return guarded("getRawLabel", number(id), [&] { return cat::rawLabel(id); }, QByteArray(""));
}

QByteArray helper::languageKey(QByteArrayView code)
{
    return cat::languageKey(code);
}
