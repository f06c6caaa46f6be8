// Benchmarks of helper's frequent calls (run by hand, not a test):
//   build/default/bench/catalogue/bench_catalogue
// The first call of each operation fills a process-wide cache, so it can be
// timed only once per process: firstCalls() does that before any other
// function runs and prints the figures; the other functions time repeated
// calls with QBENCHMARK. The interface language follows LANG/LC_ALL.
#include "catalogue.h"
#include "helper.h"

#include <QElapsedTimer>
#include <QTest>

class bench_catalogue : public QObject
{
    Q_OBJECT
    helper h;

    template <typename F> static qint64 once(F f)
    {
        QElapsedTimer t;
        t.start();
        f();
        return t.nsecsElapsed();
    }

private slots:
    void firstCalls()
    {
        volatile qsizetype sink = 0;
        const qint64 lang = once([&] { sink = sink + h.getCurrentLang(false).size(); });
        const qint64 model = once([&] { sink = sink + h.getBaseModel().size(); });
        const qint64 index = once([&] { sink = sink + h.findLocaleIndex("zu-ZA"); });
        const qint64 label = once([&] { sink = sink + h.getBaseLabel(13).size(); });
        const qint64 voices = once([&] { sink = sink + h.extractVoices("en-US").size(); });
        const qint64 shadow = once([&] { sink = sink + h.getShadow(6, 12).size(); });
        const qint64 shadowAgain = once([&] { sink = sink + h.getShadow(6, 12).size(); });
        qInfo("interface language %s", tolka::catalogue::interfaceLanguage().constData());
        qInfo("first call, ns: getCurrentLang %lld, getBaseModel %lld, findLocaleIndex %lld, getBaseLabel "
              "%lld, "
              "extractVoices(en-US) %lld, getShadow %lld (second call %lld)",
              lang, model, index, label, voices, shadow, shadowAgain);
    }

    void getBaseModel()
    {
        QBENCHMARK
        {
            const QByteArrayList m = h.getBaseModel();
            Q_UNUSED(m);
        }
    }
    void findLocaleIndex_data()
    {
        QTest::addColumn<QByteArray>("code");
        const QByteArrayList model = h.getBaseModel();
        QTest::newRow("first") << h.findLocaleValue(model.first());
        QTest::newRow("middle") << h.findLocaleValue(model.at(model.size() / 2));
        QTest::newRow("last") << h.findLocaleValue(model.last());
        QTest::newRow("missing") << QByteArray("xx-XX");
    }
    void findLocaleIndex()
    {
        QFETCH(QByteArray, code);
        qsizetype index = 0;
        QBENCHMARK
        {
            index = h.findLocaleIndex(code);
        }
        QVERIFY(index >= 0);
    }
    void findLocaleValue()
    {
        const QByteArray name = h.getBaseModel().last();
        QBENCHMARK
        {
            const QByteArray code = h.findLocaleValue(name);
            Q_UNUSED(code);
        }
    }
    void getBaseLabel()
    {
        QBENCHMARK
        {
            const QByteArray label = h.getBaseLabel(13);
            Q_UNUSED(label);
        }
    }
    void extractVoices()
    {
        QBENCHMARK
        {
            const QVariantMap voices = h.extractVoices("en-US");
            Q_UNUSED(voices);
        }
    }
    void extractVoicesLastLocale()
    {
        QBENCHMARK
        {
            const QVariantMap voices = h.extractVoices("zu-ZA");
            Q_UNUSED(voices);
        }
    }
    void getShadow()
    {
        QBENCHMARK
        {
            const QvhList layers = h.getShadow(6, 12);
            Q_UNUSED(layers);
        }
    }
};

QTEST_GUILESS_MAIN(bench_catalogue)
#include "bench_catalogue.moc"
