// helper's operations with the interface language "en" (the test runs with
// LANG and LC_ALL set to en_US.UTF-8): the edge cases of the catalogue,
// grouped by concern, and the guard that keeps exceptions from QML.
#include "catalogue.h"
#include "helper.h"

#include <QMetaMethod>
#include <QRegularExpression>
#include <QTest>

#include <stdexcept>
#include <type_traits>

using namespace Qt::StringLiterals;

namespace cat = tolka::catalogue;

// No data members: every copy behaves alike, all state is process-wide.
static_assert(std::is_empty_v<helper>);

namespace {

template <typename F> QByteArray thrown(F f)
{
    try {
        f();
    } catch (const std::exception &e) {
        return e.what();
    }
    return {};
}

QByteArrayList list(const QVariant &v)
{
    return v.value<QByteArrayList>();
}

} // namespace

class tst_helper : public QObject
{
    Q_OBJECT
    helper h;

private slots:
    // --- stores (first: the store cache must be empty here) ---------------
    void storesInAFreshProcess()
    {
        QVERIFY(h.getStore("windows").isEmpty());
        QVERIFY(h.getStore("").isEmpty());
        const QVariantMap android = h.getStore("android");
        QCOMPARE(android.size(), 2);
        QCOMPARE(android.value(u"name"_s).toByteArray(), "Google Play Store");
        QVERIFY(android.value(u"url"_s).toByteArray().startsWith("https://"));
        QCOMPARE(android.value(u"name"_s).typeId(), QMetaType::QByteArray);
        QCOMPARE(h.getStore("windows"), android);
        QCOMPARE(h.getStore("ios"), android); // cached whatever the argument
    }

    // --- the class -----------------------------------------------------------
    void metaObjectOrder()
    {
        const QMetaObject &mo = helper::staticMetaObject;
        const QByteArrayList expected = {
            "sortHistory",    "compare",      "extractVoices", "findLocaleValue", "findLocaleIndex",
            "getCurrentLang", "isDesktop",    "getStore",      "getShadow",       "getBaseLabel",
            "contributors",   "getBaseModel", "getRawLabel"};
        QCOMPARE(mo.methodCount() - mo.methodOffset(), expected.size());
        for (int i = 0; i < expected.size(); ++i) {
            const QMetaMethod m = mo.method(mo.methodOffset() + i);
            QCOMPARE(m.name(), expected.at(i));
            QCOMPARE(m.access(), QMetaMethod::Public);
            QCOMPARE(m.methodType(), QMetaMethod::Method);
        }
        QCOMPARE(mo.method(mo.methodOffset() + 8).typeName(), "QvhList");
        QCOMPARE(mo.method(mo.methodOffset() + 4).returnMetaType(), QMetaType::fromType<qsizetype>());
    }
    void qvhListIsRegistered()
    {
        const QMetaType byName = QMetaType::fromName("QvhList");
        QVERIFY(byName.isValid());
        QCOMPARE(byName, QMetaType::fromType<QvhList>());
        QCOMPARE(QMetaType::fromType<QvhList>(), QMetaType::fromType<QList<QVariantMap>>());
    }
    void invokableThroughMetaObject()
    {
        QVariantMap result;
        const QMetaObject &mo = helper::staticMetaObject;
        const QMetaMethod m = mo.method(mo.indexOfMethod("extractVoices(QByteArray)"));
        QVERIFY(m.isValid());
        QVERIFY(m.invokeOnGadget(&h, Q_RETURN_ARG(QVariantMap, result), Q_ARG(QByteArray, "af-ZA")));
        QCOMPARE(list(result.value(u"tempVoices"_s)), QByteArrayList({"Adri", "Willem"}));
    }
    void isDesktop() { QVERIFY(h.isDesktop()); }

    // --- system locale and interface language -------------------------------
    void systemLocaleEnglish()
    {
        QCOMPARE(h.getCurrentLang(false), "en-US");
        QCOMPARE(h.getCurrentLang(true), "en");
        QCOMPARE(cat::interfaceLanguage(), "en");
    }
    void languageKey_data()
    {
        QTest::addColumn<QByteArray>("code");
        QTest::addColumn<QByteArray>("key");
        QTest::newRow("zh-HK") << QByteArray("zh-HK") << QByteArray("zh-Hant");
        QTest::newRow("zh-TW") << QByteArray("zh-TW") << QByteArray("zh-Hant");
        QTest::newRow("cmn-Hant-TW") << QByteArray("cmn-Hant-TW") << QByteArray("zh-Hant");
        QTest::newRow("wuu-CN") << QByteArray("wuu-CN") << QByteArray("zh-Hans");
        QTest::newRow("yue-CN") << QByteArray("yue-CN") << QByteArray("zh-Hans");
        QTest::newRow("zh-CN") << QByteArray("zh-CN") << QByteArray("zh-Hans");
        QTest::newRow("zh-CN-henan") << QByteArray("zh-CN-henan") << QByteArray("zh-Hans");
        QTest::newRow("zh-CN-shandong") << QByteArray("zh-CN-shandong") << QByteArray("zh-Hans");
        QTest::newRow("cmn-Hans-CN") << QByteArray("cmn-Hans-CN") << QByteArray("zh-Hans");
        QTest::newRow("zh-SG not in a set") << QByteArray("zh-SG") << QByteArray("zh");
        QTest::newRow("zh-cn is case-sensitive") << QByteArray("zh-cn") << QByteArray("zh");
        QTest::newRow("fil-PH") << QByteArray("fil-PH") << QByteArray("fil");
        QTest::newRow("iu-Cans-CA") << QByteArray("iu-Cans-CA") << QByteArray("iu");
        QTest::newRow("sr-Latn-RS") << QByteArray("sr-Latn-RS") << QByteArray("sr");
        QTest::newRow("no dash") << QByteArray("en") << QByteArray("en");
        QTest::newRow("leading dash") << QByteArray("-US") << QByteArray("-US");
        QTest::newRow("empty") << QByteArray() << QByteArray();
    }
    void languageKey()
    {
        QFETCH(QByteArray, code);
        QFETCH(QByteArray, key);
        QCOMPARE(helper::languageKey(code), key);
    }

    // --- labels --------------------------------------------------------------
    void labels()
    {
        QCOMPARE(h.getBaseLabel(0), "About Tolka#");
        QCOMPARE(h.getBaseLabel(25), "Standard (quality)");
        QCOMPARE(h.getBaseLabel(54), "The service refused the request (%1).");
        QCOMPARE(h.getBaseLabel(61), "Conversation");
        QCOMPARE(h.getBaseLabel(79), "Voice for %1");
        QCOMPARE(h.getRawLabel(71), "Clear the whole transcript? This cannot be undone.");
        QCOMPARE(h.getBaseLabel(80), "Desktop");
        QCOMPARE(h.getBaseLabel(94), "This key cannot be used.");
        QCOMPARE(h.getRawLabel(82), "Press the new key…");
        QCOMPARE(h.getBaseLabel(95), "The voice's reply could not be played.");
        QCOMPARE(h.getBaseLabel(tolka::catalogue::labelCount), QByteArray());
        QCOMPARE(h.getBaseLabel(-1), QByteArray());
        QCOMPARE(h.getRawLabel(25), "Standard (quality)");
        QCOMPARE(h.getRawLabel(0), "About Tolka#");
        QCOMPARE(h.getRawLabel(tolka::catalogue::labelCount), QByteArray());
        QCOMPARE(h.getRawLabel(-1), QByteArray());
        QCOMPARE(h.getRawLabel(9), "email");
        QCOMPARE(h.getRawLabel(10), "website");
        for (qsizetype id = 0; id < tolka::catalogue::labelCount; ++id)
            QCOMPARE(h.getBaseLabel(id), h.getRawLabel(id));
    }

    // --- language list and indices -------------------------------------------
    void languageList()
    {
        const QByteArrayList model = h.getBaseModel();
        QCOMPARE(model.size(), 148);
        QCOMPARE(model.first(), "Afrikaans (South Africa)");
        QCOMPARE(model.last(), "Zulu (South Africa)");
        QVERIFY(model.isSharedWith(h.getBaseModel()));
    }
    void indices()
    {
        QCOMPARE(h.findLocaleIndex("af-ZA"), 0);
        QCOMPARE(h.findLocaleIndex("zu-ZA"), 147);
        QCOMPARE(h.findLocaleIndex("xx-XX"), 148);
        QCOMPARE(h.findLocaleIndex(""), 148);
        QCOMPARE(h.findLocaleIndex("af-za"), 148);
        const QByteArrayList model = h.getBaseModel();
        QCOMPARE(model.at(h.findLocaleIndex("en-US")), "English (United States)");
        QCOMPARE(h.findLocaleValue("French (France)"), "fr-FR");
        QCOMPARE(h.findLocaleValue("Chinese (Wu, Simplified)"), "wuu-CN");
        QCOMPARE(h.findLocaleValue("Serbian (Latin, Serbia)"), "sr-Latn-RS");
        for (qsizetype i = 0; i < model.size(); ++i)
            QCOMPARE(h.findLocaleIndex(h.findLocaleValue(model.at(i))), i);
    }
    void unknownNames()
    {
        QCOMPARE(thrown([] { cat::findLocaleValue("Afrikaans (Südafrika)"); }), "Key not found");
        QCOMPARE(thrown([] { cat::findLocaleValue("french (France)"); }), "Key not found");
        QCOMPARE(thrown([] { cat::findLocaleValue(""); }), "Key not found");
        QTest::ignoreMessage(
            QtWarningMsg,
            QRegularExpression(
                u"helper::findLocaleValue\\(\"Afrikaans \\(Südafrika\\)\"\\).*Key not found"_s));
        QCOMPARE(h.findLocaleValue("Afrikaans (Südafrika)"), QByteArray());
    }

    // --- contributors ------------------------------------------------------------
    void contributors()
    {
        const QByteArrayList lines = h.contributors();
        QCOMPARE(lines.size(), 9);
        for (const QByteArray &line : lines)
            QVERIFY2(line.contains(" : "), line.constData());
        QVERIFY(lines.isSharedWith(h.contributors()));
    }

    // --- voices ------------------------------------------------------------------
    void voices()
    {
        QVariantMap m = h.extractVoices("af-ZA");
        QCOMPARE(m.size(), 2);
        QCOMPARE(list(m.value(u"tempVoices"_s)), QByteArrayList({"Adri", "Willem"}));
        QCOMPARE(list(m.value(u"tempNames"_s)), QByteArrayList({"af-ZA-AdriNeural", "af-ZA-WillemNeural"}));
        QCOMPARE(m.value(u"tempNames"_s).metaType(), QMetaType::fromType<QByteArrayList>());

        m = h.extractVoices("en-US");
        QCOMPARE(list(m.value(u"tempVoices"_s)).size(), 26);
        QCOMPARE(list(m.value(u"tempNames"_s)).size(), 26);
        QCOMPARE(list(m.value(u"tempNames"_s)).first(), "en-US-AmberNeural");
        QCOMPARE(list(m.value(u"tempNames"_s)).last(), "en-US-TonyNeural");

        m = h.extractVoices("zh-CN-henan");
        QCOMPARE(list(m.value(u"tempNames"_s)), QByteArrayList({"zh-CN-henan-YundengNeural"}));
        QCOMPARE(list(m.value(u"tempVoices"_s)), QByteArrayList({"云登"}));

        m = h.extractVoices("zh-CN");
        QCOMPARE(list(m.value(u"tempNames"_s)).size(), 22);

        m = h.extractVoices("am-ET");
        QCOMPARE(list(m.value(u"tempVoices"_s)), QByteArrayList({"አምሀ", "መቅደስ"}));
        m = h.extractVoices("zh-HK");
        QCOMPARE(list(m.value(u"tempVoices"_s)), QByteArrayList({"曉佳", "曉曼", "雲龍"}));
    }
    void unknownLanguages()
    {
        QCOMPARE(thrown([] { cat::extractVoices("zh-cn"); }), "Key not found");
        QCOMPARE(thrown([] { cat::extractVoices("en"); }), "Key not found");
        QCOMPARE(thrown([] { cat::extractVoices(""); }), "Key not found");
        QCOMPARE(thrown([] { cat::extractVoices("xx-XX"); }), "Key not found");
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(u"helper::extractVoices\\(\"xx-XX\"\\).*Key not found"_s));
        QVERIFY(h.extractVoices("xx-XX").isEmpty());
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"helper::extractVoices\\(\"\"\\)"_s));
        QVERIFY(h.extractVoices("").isEmpty());
    }
    void voiceListsAreParallel()
    {
        for (const QByteArray &code : cat::supportedCodes()) {
            const QVariantMap m = h.extractVoices(code);
            const QByteArrayList local = list(m.value(u"tempVoices"_s));
            const QByteArrayList names = list(m.value(u"tempNames"_s));
            QCOMPARE(local.size(), names.size());
            QVERIFY(!names.isEmpty());
            for (qsizetype i = 0; i < names.size(); ++i) {
                QVERIFY(names.at(i).startsWith(code + '-'));
                QVERIFY(!local.at(i).isEmpty());
            }
        }
    }

    // --- history ------------------------------------------------------------------
    void history_data()
    {
        QTest::addColumn<QByteArrayList>("before");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArrayList>("after");
        QTest::newRow("empty") << QByteArrayList() << QByteArray("a") << QByteArrayList({"a"});
        QTest::newRow("moves to front")
            << QByteArrayList({"a", "b", "c"}) << QByteArray("b") << QByteArrayList({"b", "a", "c"});
        QTest::newRow("case-sensitive")
            << QByteArrayList({"a", "b"}) << QByteArray("B") << QByteArrayList({"B", "a", "b"});
        QTest::newRow("only the first repeat")
            << QByteArrayList({"a", "a"}) << QByteArray("a") << QByteArrayList({"a", "a"});
        QByteArrayList ten;
        for (int i = 0; i < 10; ++i)
            ten.append(QByteArray::number(i));
        QTest::newRow("ten and a new one")
            << ten << QByteArray("new") << (QByteArrayList{"new"} + ten.first(9));
        QByteArrayList twelve = ten + QByteArrayList{"10", "eleven"};
        QByteArrayList expected = QByteArrayList{"eleven"} + ten.first(9);
        QTest::newRow("twelve, last moves") << twelve << QByteArray("eleven") << expected;
        QTest::newRow("empty text") << QByteArrayList({"a"}) << QByteArray() << QByteArrayList({"", "a"});
    }
    void history()
    {
        QFETCH(QByteArrayList, before);
        QFETCH(QByteArray, text);
        QFETCH(QByteArrayList, after);
        QCOMPARE(h.sortHistory(before, text), after);
    }

    // --- compare --------------------------------------------------------------------
    void compare()
    {
        QVERIFY(h.compare({}, {}));
        QVERIFY(!h.compare({"x", "y"}, {"y", "x"}));
        QVERIFY(!h.compare({"x"}, {"x", "y"}));
        QVERIFY(h.compare({"x", "y"}, {"x", "y"}));
        QVERIFY(!h.compare({"x"}, {"X"}));
        QVERIFY(!h.compare({QByteArray("x\0", 2)}, {"x"}));
        const QByteArrayList shared = {"a", "b"};
        QVERIFY(h.compare(shared, shared));
        const QVariantMap a = h.extractVoices("fr-FR");
        const QVariantMap b = h.extractVoices("fr-FR");
        QVERIFY(h.compare(list(a.value(u"tempNames"_s)), list(b.value(u"tempNames"_s))));
        QVERIFY(
            !h.compare(list(a.value(u"tempNames"_s)), list(h.extractVoices("fr-CA").value(u"tempNames"_s))));
    }

    // --- shadows ----------------------------------------------------------------------
    void shadowLevelZero()
    {
        const QvhList layers = h.getShadow(0, 12);
        QCOMPARE(layers.size(), 3);
        const double opacities[] = {0.14, 0.1, 0.08};
        for (int j = 0; j < 3; ++j) {
            const auto &m = layers.at(j);
            QCOMPARE(m.size(), 5);
            for (const char *k : {"offset", "blur", "padding", "spread"}) {
                QCOMPARE(m.value(QLatin1StringView(k)).typeId(), QMetaType::Double);
                QCOMPARE(m.value(QLatin1StringView(k)).toDouble(), 0.0);
            }
            QCOMPARE(m.value(u"opacityLevel"_s).toDouble(), opacities[j]);
        }
    }
    void shadowLevelThree()
    {
        const QvhList layers = h.getShadow(3, 12);
        QCOMPARE(layers.size(), 3);
        QCOMPARE(layers[0].value(u"offset"_s).toDouble(), 1.0);
        QCOMPARE(layers[0].value(u"blur"_s).toDouble(), 8 * 1.1);
        QCOMPARE(layers[0].value(u"spread"_s).toDouble(), 0.0);
        QCOMPARE(layers[0].value(u"padding"_s).toDouble(), 17.5);
        QCOMPARE(layers[0].value(u"opacityLevel"_s).toDouble(), 0.14);
        QCOMPARE(layers[1].value(u"blur"_s).toDouble(), 4 * 0.9);
        QCOMPARE(layers[2].value(u"offset"_s).toDouble(), 3.0);
        QCOMPARE(layers[2].value(u"blur"_s).toDouble(), 3 * 0.9);
        QCOMPARE(layers[2].value(u"spread"_s).toDouble(), -2.0);
        QCOMPARE(layers[2].value(u"padding"_s).toDouble(), 3.5);
        QCOMPARE(layers[2].value(u"opacityLevel"_s).toDouble(), 0.08);
    }
    void shadowClamping()
    {
        QCOMPARE(h.getShadow(20, 12), h.getShadow(12, 12));
        QCOMPARE(h.getShadow(20, 30), h.getShadow(12, 12));
        QCOMPARE(h.getShadow(5, 2), h.getShadow(2, 12));
        QCOMPARE(h.getShadow(-4, 12), h.getShadow(0, 12));
        QCOMPARE(h.getShadow(12, 12)[2].value(u"padding"_s).toDouble(), 59.5);
        QCOMPARE(h.getShadow(12, 12)[2].value(u"blur"_s).toDouble(), 22 * 0.9);
        QVERIFY(h.getShadow(2, 12) != h.getShadow(3, 12));
    }
    void shadowNegativeMaximum()
    {
        QCOMPARE(thrown([] { cat::shadow(1, -1); }), "Index out of range");
        QCOMPARE(thrown([] { cat::shadow(1, -1); }), "Index out of range"); // the empty entry stays
        QCOMPARE(thrown([] { cat::shadow(0, -5); }), "Index out of range");
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(u"helper::getShadow\\(1, -1\\).*Index out of range"_s));
        QVERIFY(h.getShadow(1, -1).isEmpty());
    }
    void shadowCache()
    {
        const QvhList first = h.getShadow(7, 12);
        const qsizetype reads = cat::shadowTableReads();
        const QvhList second = h.getShadow(7, 12);
        QCOMPARE(cat::shadowTableReads(), reads);
        QCOMPARE(first, second);
        QVERIFY(first.isSharedWith(second));
    }
};

QTEST_GUILESS_MAIN(tst_helper)
#include "tst_helper.moc"
