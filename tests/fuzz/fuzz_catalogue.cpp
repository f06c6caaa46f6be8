// The catalogue's invokables as QML calls them, with any strings and
// numbers: none may crash or let an exception out, and each keeps its
// promise (the history's order and length, a locale index within the list,
// a label for any id or nothing, a shadow of three layers or none).
#include "catalogue.h"
#include "fuzzcheck.h"
#include "helper.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QLoggingCategory>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

constexpr qsizetype historyLength = 10;
constexpr qsizetype shadowLayers = 3;

// Reads numbers and zero-ended strings from the input, in turn.
class Input
{
public:
    Input(const std::uint8_t *data, std::size_t size) : m_data(data), m_size(size) {}

    qsizetype number()
    {
        qint64 n = 0;
        const std::size_t take = std::min(sizeof n, m_size - m_at);
        std::memcpy(&n, m_data + m_at, take);
        m_at += take;
        return qsizetype(n);
    }
    QByteArray text()
    {
        const auto *begin = reinterpret_cast<const char *>(m_data + m_at);
        const auto *end = static_cast<const char *>(std::memchr(begin, 0, m_size - m_at));
        const std::size_t length = end ? std::size_t(end - begin) : m_size - m_at;
        m_at += std::min(length + 1, m_size - m_at);
        return QByteArray(begin, qsizetype(length));
    }
    QByteArrayList texts()
    {
        QByteArrayList list;
        for (qsizetype n = number() % 16; n > 0 && m_at < m_size; --n)
            list.append(text());
        return list;
    }

private:
    const std::uint8_t *m_data;
    std::size_t m_size;
    std::size_t m_at = 0;
};

void history(const helper &h, Input &in)
{
    const QByteArrayList list = in.texts();
    const QByteArray text = in.text();
    const QByteArrayList sorted = h.sortHistory(list, text);
    TOLKA_FUZZ_CHECK(!sorted.isEmpty() && sorted.size() <= historyLength && sorted.first() == text);
    TOLKA_FUZZ_CHECK(sorted.size() <= list.size() + 1);
    // What was there keeps its order behind the new entry.
    qsizetype from = 0;
    for (qsizetype i = 1; i < sorted.size(); ++i) {
        from = list.indexOf(sorted.at(i), from);
        TOLKA_FUZZ_CHECK(from >= 0);
        ++from;
    }
    TOLKA_FUZZ_CHECK(h.compare(list, QByteArrayList(list)));
    TOLKA_FUZZ_CHECK(h.compare(list, sorted) == (list == sorted));
}

void locales(const helper &h, Input &in)
{
    const QByteArray code = in.text();
    const qsizetype index = h.findLocaleIndex(code);
    TOLKA_FUZZ_CHECK(index >= 0 && index <= tolka::catalogue::localeCount());
    (void)h.findLocaleValue(in.text());
    (void)h.extractVoices(in.text());
    (void)helper::languageKey(in.text());
    (void)h.getStore(in.text());
}

void labels(const helper &h, Input &in)
{
    const qsizetype id = in.number();
    const QByteArray raw = h.getRawLabel(id);
    const QByteArray base = h.getBaseLabel(id);
    // A label the interface has in English has one in every language.
    TOLKA_FUZZ_CHECK(raw.isEmpty() || !base.isEmpty());
}

void shadows(const helper &h, Input &in)
{
    const qsizetype elevation = in.number();
    // Every negative maximum is refused alike and leaves a cache entry, so
    // a few stand for all of them.
    const qsizetype maxElevation = in.number() % 16;
    const QvhList layers = h.getShadow(elevation, maxElevation);
    TOLKA_FUZZ_CHECK(layers.size() == (maxElevation < 0 ? 0 : shadowLayers));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // Refused calls log a warning each; a fuzzer makes millions of them.
    QLoggingCategory::setFilterRules(QStringLiteral("tolka.catalogue.warning=false"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const helper h;
    Input in(data + 1, size - 1);
    switch (data[0] % 4) {
    case 0:
        history(h, in);
        break;
    case 1:
        locales(h, in);
        break;
    case 2:
        labels(h, in);
        break;
    default:
        shadows(h, in);
        break;
    }
    return 0;
}
