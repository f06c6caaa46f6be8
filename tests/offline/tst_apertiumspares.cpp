// Pipelines started ahead: one per direction, the oldest dropped beyond
// the capacity, and a taken spare translates like a new pipeline.
#include "apertiumspares.h"
#include "apertiumtranslation.h"
#include "pipedprocess.h"

#include <QTest>

namespace {
// A pipeline of a dozen processes loading their data; a loaded machine is slow.
constexpr int translateWait = 60000;
} // namespace

class ApertiumSparesTest : public QObject
{
    Q_OBJECT
    ApertiumTranslation engine;
    QList<ApertiumTranslation::Direction> directions;

private slots:
    void initTestCase()
    {
        for (const char *to : {"es-ES", "ca-ES", "hr-HR"}) {
            const auto route = engine.route(QStringLiteral("en-US"), QString::fromLatin1(to));
            if (route.size() == 1)
                directions.append(route.constFirst());
        }
        QVERIFY2(directions.size() == 3,
                 "apertium's English to Spanish, Catalan and Croatian pairs are needed");
    }

    void aSpareIsTakenOnceAndTranslates()
    {
        ApertiumSpares spares;
        const auto &spanish = directions.constFirst();
        spares.replenish(spanish.dataDir, spanish.mode);
        spares.replenish(spanish.dataDir, spanish.mode);
        QCOMPARE(spares.waiting(), 1);
        const auto spare = spares.take(spanish.dataDir, spanish.mode);
        QCOMPARE(spares.waiting(), 0);
        QVERIFY(spare->waiting());
        const auto output = spare->finish("The house is big.", QDeadlineTimer(translateWait));
        QVERIFY(output);
        QCOMPARE(output->exitCode, 0);
        QCOMPARE(output->out.trimmed(), QByteArray("La casa es grande."));

        // Without a spare a pipeline is started on the spot.
        const auto fresh = spares.take(spanish.dataDir, spanish.mode);
        QVERIFY(fresh->started());
        QCOMPARE(fresh->finish("The dog.", QDeadlineTimer(translateWait))->out.trimmed(),
                 QByteArray("El perro."));
    }

    void theModeUsedLongestAgoGoesBeyondTheCapacity()
    {
        ApertiumSpares spares(2);
        for (const auto &d : std::as_const(directions))
            spares.replenish(d.dataDir, d.mode);
        QCOMPARE(spares.waiting(), 2);
        // The first was dropped: taking it leaves the other two waiting.
        const auto &first = directions.constFirst();
        QVERIFY(spares.take(first.dataDir, first.mode)->started());
        QCOMPARE(spares.waiting(), 2);
        const auto &last = directions.constLast();
        QVERIFY(spares.take(last.dataDir, last.mode)->waiting());
        QCOMPARE(spares.waiting(), 1);

        ApertiumSpares none(0);
        none.replenish(first.dataDir, first.mode);
        QCOMPARE(none.waiting(), 0);
    }
};

QTEST_GUILESS_MAIN(ApertiumSparesTest)
#include "tst_apertiumspares.moc"
