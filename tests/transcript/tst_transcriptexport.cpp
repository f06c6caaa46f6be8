// The four export formats against the fixtures in tests/data/transcript/:
// commas, quotes, line breaks, Markdown's specials, right-to-left and
// non-Latin texts, and the cue timing rules.
#include "transcriptexport.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace Qt::StringLiterals;
using tolka::TranscriptEntry;
using tolka::TranscriptExport;

namespace {

// The byte order mark, the header row and its CRLF.
constexpr qsizetype headerBytes = 81;

QByteArray fixture(const QString &name)
{
    QFile file(QStringLiteral(TOLKA_TEST_DATA "/transcript/") + name);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read the fixture %s", qPrintable(file.fileName()));
    return file.readAll();
}

QList<TranscriptEntry> fixtureEntries()
{
    QList<TranscriptEntry> entries;
    for (const QJsonValue &value : QJsonDocument::fromJson(fixture(u"entries.json"_s)).array()) {
        auto entry = TranscriptEntry::fromMap(value.toObject().toVariantMap());
        if (!entry)
            qFatal("fixture entry refused: %s", qPrintable(entry.error()));
        entries.append(*entry);
    }
    return entries;
}

TranscriptEntry at(const QString &isoUtc)
{
    return *TranscriptEntry::fromMap({{u"time"_s, isoUtc},
                                      {u"direction"_s, u"forward"_s},
                                      {u"sourceLanguage"_s, u"en-US"_s},
                                      {u"targetLanguage"_s, u"de-DE"_s},
                                      {u"sourceText"_s, u"a"_s},
                                      {u"translation"_s, u"b"_s},
                                      {u"voice"_s, QString()}});
}

} // namespace

class tst_transcriptexport : public QObject
{
    Q_OBJECT

private slots:
    void formatsMatchTheFixtures_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("file");
        QTest::newRow("text") << u"text"_s << u"transcript.txt"_s;
        QTest::newRow("markdown") << u"markdown"_s << u"transcript.md"_s;
        QTest::newRow("csv") << u"csv"_s << u"transcript.csv"_s;
        QTest::newRow("srt") << u"srt"_s << u"transcript.srt"_s;
    }
    void formatsMatchTheFixtures()
    {
        QFETCH(QString, kind);
        QFETCH(QString, file);
        const std::optional<QString> document = TranscriptExport::format(fixtureEntries(), kind);
        QVERIFY(document.has_value());
        QCOMPARE(document->toUtf8(), fixture(file));
    }

    void emptyTranscriptsAndUnknownKinds()
    {
        QCOMPARE(TranscriptExport::plainText({}), QString());
        QCOMPARE(TranscriptExport::markdown({}), u"# Transcript\n"_s);
        QCOMPARE(TranscriptExport::csv({}).toUtf8(), fixture(u"transcript.csv"_s).first(headerBytes));
        QCOMPARE(TranscriptExport::timedText({}), QString());
        QVERIFY(!TranscriptExport::format({}, u"pdf").has_value());
        QVERIFY(!TranscriptExport::format({}, u"").has_value());
    }

    void cueTimes()
    {
        // Out of order (a clock set back) and more than a day long.
        const QString cues =
            TranscriptExport::timedText({at(u"2026-12-09T10:00:00.000Z"_s), at(u"2026-12-09T09:59:00.000Z"_s),
                                         at(u"2026-12-10T11:00:00.250Z"_s)});
        QCOMPARE(cues, u"1\n00:00:00,000 --> 00:00:01,000\na\nb\n\n"
                       "2\n00:00:00,000 --> 00:00:04,000\na\nb\n\n"
                       "3\n25:00:00,250 --> 25:00:04,250\na\nb\n"_s);
    }
};

QTEST_GUILESS_MAIN(tst_transcriptexport)
#include "tst_transcriptexport.moc"
