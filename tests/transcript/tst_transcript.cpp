// The QML-facing gadget and the exchange as a map: round trips, refusals,
// the store behind it and the export to a file.
#include "transcript.h"
#include "transcriptexport.h"
#include "transcriptsamples.h"

#include <QDir>
#include <QFile>
#include <QJSValue>
#include <QMetaMethod>
#include <QQmlEngine>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <type_traits>

using namespace Qt::StringLiterals;
using tolka::TranscriptEntry;

// No data members: every copy behaves alike.
static_assert(std::is_empty_v<transcript>);

namespace {

QVariantMap sampleMap(const QString &text = u"Bonjour, « monde »"_s)
{
    return sampleEntry(u"2026-12-09T10:15:02.123Z"_s, text).toMap();
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class tst_transcript : public QObject
{
    Q_OBJECT
    QTemporaryDir dir;
    transcript t;

private slots:
    void init()
    {
        qputenv("TOLKA_TRANSCRIPT_DIR", dir.filePath(u"store"_s).toLocal8Bit());
        QVERIFY(t.clear());
    }

    void mapRoundTrip()
    {
        const TranscriptEntry entry = sampleEntry(u"2026-12-09T10:15:02.123Z"_s, u"مرحبا"_s);
        const QVariantMap map = entry.toMap();
        QCOMPARE(map.keys(), QStringList({u"direction"_s, u"sourceLanguage"_s, u"sourceText"_s,
                                          u"targetLanguage"_s, u"time"_s, u"translation"_s, u"voice"_s}));
        QCOMPARE(map.value(u"time"_s), QVariant(u"2026-12-09T10:15:02.123Z"_s));
        QCOMPARE(TranscriptEntry::fromMap(map).value(), entry);

        // A JavaScript Date, and an offset time, arrive as the same instant.
        QVariantMap dated = map;
        dated.insert(u"time"_s, entry.time.toLocalTime());
        QCOMPARE(TranscriptEntry::fromMap(dated).value(), entry);
        dated.insert(u"time"_s, u"2026-12-09T11:15:02.123+01:00"_s);
        QCOMPARE(TranscriptEntry::fromMap(dated).value().toMap(), map);
    }

    void refusedMaps_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("value"); // invalid: the key is removed
        QTest::addColumn<QString>("reason");
        for (const QString &key : sampleMap().keys())
            QTest::addRow("no %s", qPrintable(key)) << key << QVariant() << u"no \"%1\""_s.arg(key);
        QTest::newRow("number") << u"sourceText"_s << QVariant(42)
                                << u"\"sourceText\" is of type int, not a string"_s;
        QTest::newRow("null voice") << u"voice"_s << QVariant::fromValue(nullptr)
                                    << u"\"voice\" is of type std::nullptr_t"_s;
        QTest::newRow("bad time") << u"time"_s << QVariant(u"yesterday"_s) << u"not an ISO 8601 time"_s;
        QTest::newRow("direction") << u"direction"_s << QVariant(u"sideways"_s)
                                   << u"\"direction\" is \"sideways\""_s;
        QTest::newRow("empty language")
            << u"targetLanguage"_s << QVariant(QString()) << u"a language is empty"_s;
    }
    void refusedMaps()
    {
        QFETCH(QString, key);
        QFETCH(QVariant, value);
        QFETCH(QString, reason);
        QVariantMap map = sampleMap();
        if (value.isValid())
            map.insert(key, value);
        else
            map.remove(key);
        const auto refused = TranscriptEntry::fromMap(map);
        QVERIFY(!refused.has_value());
        QVERIFY2(refused.error().contains(reason), qPrintable(refused.error()));

        QTest::ignoreMessage(
            QtWarningMsg, QRegularExpression(u"exchange refused: .*"_s + QRegularExpression::escape(reason)));
        QVERIFY(!t.append(map));
        QVERIFY(!QDir(t.folder()).exists());
    }

    void storesThroughTheFolder()
    {
        QCOMPARE(t.folder(), dir.filePath(u"store"_s));
        QVERIFY(t.append(sampleMap(u"one"_s)));
        QVERIFY(t.append(sampleMap(u"two"_s)));
        QCOMPARE(t.load(), QVariantList({sampleMap(u"one"_s), sampleMap(u"two"_s)}));
        QCOMPARE(t.load(1), QVariantList({sampleMap(u"two"_s)}));
        QVERIFY(t.clear());
        QVERIFY(t.load().isEmpty());

        qunsetenv("TOLKA_TRANSCRIPT_DIR");
        QVERIFY(t.folder().endsWith(u"/transcript"_s));
        QVERIFY(t.folder().size() > u"/transcript"_s.size());
    }

    void formatLeavesOutInvalidEntries()
    {
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"exchange 1 left out: no \"time\""_s));
        const QString text =
            t.format({sampleMap(u"kept"_s), QVariantMap{{u"sourceText"_s, u"x"_s}}}, u"text"_s);
        QCOMPARE(text, tolka::TranscriptExport::plainText({*TranscriptEntry::fromMap(sampleMap(u"kept"_s))}));

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"no export format \"html\""_s));
        QCOMPARE(t.format({sampleMap()}, u"html"_s), QString());
    }

    void exportToWritesWholeFiles()
    {
        const QString path = dir.filePath(u"export/transcript.md"_s);
        QVERIFY(QDir().mkpath(dir.filePath(u"export"_s)));
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
        old.close();

        const QVariantList entries{sampleMap(u"تصدير"_s), sampleMap(u"書き出し"_s)};
        QVERIFY(t.exportTo(QUrl::fromLocalFile(path), entries, u"markdown"_s));
        QCOMPARE(contents(path), t.format(entries, u"markdown"_s).toUtf8());
        QCOMPARE(QDir(dir.filePath(u"export"_s)).entryList(QDir::Files), QStringList({u"transcript.md"_s}));

        // A failed export leaves the file as it was.
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"not exported: no export format"_s));
        QVERIFY(!t.exportTo(QUrl::fromLocalFile(path), entries, u"docx"_s));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"not exported: not a local file: https://"_s));
        QVERIFY(!t.exportTo(QUrl(u"https://example.org/t.md"_s), entries, u"markdown"_s));
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(u"not exported: cannot write .*transcript.md/t.csv"_s));
        QVERIFY(!t.exportTo(QUrl::fromLocalFile(path + u"/t.csv"_s), entries, u"csv"_s));
        QCOMPARE(contents(path), t.format(entries, u"markdown"_s).toUtf8());
    }

    // As QML calls it: JavaScript objects, arrays and dates as arguments.
    void callableFromJavaScript()
    {
        QQmlEngine engine;
        engine.globalObject().setProperty(u"transcript"_s, engine.toScriptValue(QVariant::fromValue(t)));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"exchange refused: no \"direction\""_s));
        const QJSValue result = engine.evaluate(
            u"const entry = {time: new Date(Date.UTC(2026, 11, 9, 10, 15, 2, 123)), direction: 'forward',"
            "                sourceLanguage: 'en-US', targetLanguage: 'fr-FR', sourceText: 'Hello, world',"
            "                translation: 'Bonjour, le monde', voice: ''};"
            "const stored = transcript.append(entry);"
            "const refused = transcript.append({time: entry.time, sourceText: 'no languages'});"
            "const loaded = transcript.load(10);"
            "[stored, refused, loaded.length, loaded[0].time, loaded[0].sourceText,"
            " transcript.format(loaded, 'csv').split('\\r\\n')[1]]"_s);
        QVERIFY2(!result.isError(), qPrintable(result.toString()));
        QCOMPARE(
            result.toVariant().toList(),
            QVariantList(
                {true, false, 1, u"2026-12-09T10:15:02.123Z"_s, u"Hello, world"_s,
                 u"2026-12-09T10:15:02.123Z,forward,en-US,fr-FR,\"Hello, world\",\"Bonjour, le monde\","_s}));
    }

    void invokableFromQml()
    {
        const QMetaObject &meta = transcript::staticMetaObject;
        for (const char *signature :
             {"load(int)", "load()", "append(QVariantMap)", "clear()", "format(QVariantList,QString)",
              "exportTo(QUrl,QVariantList,QString)", "folder()"})
            QVERIFY2(meta.indexOfMethod(signature) >= 0, signature);
        const QVariant value = QVariant::fromValue(t);
        QCOMPARE(value.metaType(), QMetaType::fromType<transcript>());
    }
};

QTEST_GUILESS_MAIN(tst_transcript)
#include "tst_transcript.moc"
