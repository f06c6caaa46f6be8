// StaticValue: layout, kinds, lookups and their errors.
#include "documents.h"
#include "staticvalue.h"

#include <QTest>

#include <cstring>
#include <stdexcept>

using tolka::StaticMember;
using tolka::StaticValue;
using namespace tolka::catalogue::build;

namespace {

constexpr StaticValue numbers[] = {i(-3), u(18446744073709551615u), d(2.5), s("x")};
constexpr StaticMember inner[] = {
    {s("short"), s("12345678")}, {s("long"), s("123456789")}, {i(7), s("not a string key")},
    {s("dup"), s("first")},      {s("dup"), s("second")},     {s("list"), arr(numbers)},
};
constexpr StaticValue doc = obj(inner);

// Everything below is evaluated by the compiler.
static_assert(sizeof(StaticValue) == 16);
static_assert(sizeof(StaticMember) == 32);
static_assert(doc.kind() == 7 && doc.size() == 6);
static_assert(doc["short"].kind() == 2 && doc["short"].size() == 8);
static_assert(doc["long"].text() == "123456789");
static_assert(doc["dup"].text() == "first", "first match wins");
static_assert(doc["list"].at(0).toDouble() == -3.0);
static_assert(doc["list"].at(2).toDouble() == 2.5);
static_assert(doc.find("Short") == nullptr, "keys are case-sensitive");
static_assert(doc.find("shor") == nullptr, "length is compared first");

std::uint64_t word(const StaticValue &v, int index)
{
    std::uint64_t w[2];
    std::memcpy(w, &v, sizeof w);
    return w[index];
}

} // namespace

class tst_staticvalue : public QObject
{
    Q_OBJECT
private slots:
    void headerHoldsKindAndLength()
    {
        QCOMPARE(word(doc, 0) >> 61, 7u);
        QCOMPARE(word(doc, 0) & 0x1fffffffffffffffULL, 6u);
        QCOMPARE(word(doc["long"], 0), (std::uint64_t(2) << 61) | 9u);
        QCOMPARE(word(numbers[0], 0), std::uint64_t(3) << 61);
        QCOMPARE(word(numbers[1], 0), std::uint64_t(4) << 61);
        QCOMPARE(word(numbers[2], 0), std::uint64_t(5) << 61);
        QCOMPARE(word(doc["list"], 0), (std::uint64_t(6) << 61) | 4u);
    }
    void shortStringsAreInPlace()
    {
        const StaticValue &v = doc["short"];
        char payload[8];
        std::memcpy(payload, reinterpret_cast<const char *>(&v) + 8, 8);
        QCOMPARE(QByteArray(payload, 8), "12345678");
        QCOMPARE(v.text().data(), reinterpret_cast<const char *>(&v) + 8);
        const StaticValue &l = doc["long"];
        QVERIFY(l.text().data() != reinterpret_cast<const char *>(&l) + 8);
        QCOMPARE(word(l, 1), std::uint64_t(reinterpret_cast<std::uintptr_t>(l.text().data())));
    }
    void payloadOfNumbers()
    {
        QCOMPARE(std::int64_t(word(numbers[0], 1)), std::int64_t(-3));
        QCOMPARE(word(numbers[1], 1), std::uint64_t(18446744073709551615u));
        double d2;
        const std::uint64_t bits = word(numbers[2], 1);
        std::memcpy(&d2, &bits, 8);
        QCOMPARE(d2, 2.5);
    }
    void membersAreConsecutive()
    {
        QCOMPARE(word(doc, 1), std::uint64_t(reinterpret_cast<std::uintptr_t>(inner)));
        QCOMPARE(reinterpret_cast<const char *>(&doc.members()[1]) -
                     reinterpret_cast<const char *>(&doc.members()[0]),
                 32);
    }
    void errors()
    {
        try {
            (void)doc["missing"];
            QFAIL("no exception");
        } catch (const std::out_of_range &e) {
            QCOMPARE(QByteArray(e.what()), "Key not found");
        }
        try {
            (void)doc["list"].at(4);
            QFAIL("no exception");
        } catch (const std::out_of_range &e) {
            QCOMPARE(QByteArray(e.what()), "Index out of range");
        }
        try {
            (void)doc["list"].at(3).toDouble();
            QFAIL("no exception");
        } catch (const std::runtime_error &e) {
            QCOMPARE(QByteArray(e.what()), "Not a number");
        }
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, (void)doc[""]);
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, (void)doc["long"]["x"]);
    }
    void nonStringKeysAreSkipped()
    {
        QVERIFY(doc.find("not a string key") == nullptr);
        QCOMPARE(doc.members()[2].key.kind(), 3u);
    }
    void tablesAreConstant()
    {
        // The documents are constinit objects: a StaticValue pointing into
        // read-only data with the stated sizes before main() runs.
        using namespace tolka::catalogue;
        QCOMPARE(languageNames.size(), 79u);
        QCOMPARE(baseLabels.size(), 79u);
        QCOMPARE(rawLabels.size(), 96u);
        QCOMPARE(voiceCatalogue.size(), 148u);
        QCOMPARE(shadowLevels.size(), 13u);
        QCOMPARE(storeLinks.size(), 3u);
        QCOMPARE(contributorLines.size(), 9u);
        QVERIFY(contributorLines.isArray());
    }
};

QTEST_APPLESS_MAIN(tst_staticvalue)
#include "tst_staticvalue.moc"
