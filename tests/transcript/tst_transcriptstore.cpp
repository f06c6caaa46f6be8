// The transcript files: one per local day, torn and foreign lines skipped,
// the newest entries kept, failures reported, nothing lost to a crash.
#include "transcriptsamples.h"
#include "transcriptstore.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using tolka::TranscriptEntry;
using tolka::TranscriptStore;

namespace {

constexpr int crashWaitMs = 30000;

// Three exchanges over two local days in Paris: 23:30 UTC is already the
// next day there.
QList<TranscriptEntry> threeEntries()
{
    return {sampleEntry(u"2026-12-09T10:00:00.000Z"_s, u"one"_s),
            sampleEntry(u"2026-12-09T23:30:00.500Z"_s, u"two"_s),
            sampleEntry(u"2026-12-10T08:00:00.000Z"_s, u"three"_s)};
}

QStringList sourceTexts(const QList<TranscriptEntry> &entries)
{
    QStringList texts;
    for (const TranscriptEntry &entry : entries)
        texts.append(entry.sourceText);
    return texts;
}

void appendRaw(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Append));
    QCOMPARE(file.write(bytes), bytes.size());
}

} // namespace

class tst_transcriptstore : public QObject
{
    Q_OBJECT

private slots:
    void filesPerLocalDayAndLoadInOrder()
    {
        QTemporaryDir dir;
        const TranscriptStore store(dir.filePath(u"made/here"_s));
        for (const TranscriptEntry &entry : threeEntries())
            QVERIFY(store.append(entry));
        QCOMPARE(QDir(store.folder()).entryList(QDir::Files),
                 QStringList({u"transcript-2026-12-09.jsonl"_s, u"transcript-2026-12-10.jsonl"_s}));
        QCOMPARE(store.load(100), threeEntries());

        QFile first(store.fileFor(QDate(2026, 12, 9)));
        QVERIFY(first.open(QIODevice::ReadOnly));
        const QByteArray line = first.readAll();
        QVERIFY(line.endsWith('\n') && line.count('\n') == 1);
        QVERIFY(line.contains("\"time\":\"2026-12-09T10:00:00.000Z\""));
    }

    void tornAndForeignLinesAreSkipped()
    {
        QTemporaryDir dir;
        const TranscriptStore store(dir.path());
        const QList<TranscriptEntry> entries = threeEntries();
        QVERIFY(store.append(entries.at(0)));
        QVERIFY(store.append(entries.at(1)));
        const QString lastDay = store.fileFor(QDate(2026, 12, 10));
        appendRaw(lastDay, "garbage, not JSON\n");
        appendRaw(lastDay, "{\"time\":\"2026-12-10T07:00:00.000Z\",\"direction\":\"forward\"}"
                           "\n");
        QVERIFY(store.append(entries.at(2)));
        appendRaw(lastDay, "{\"time\":\"2026-12-10T09:00:00.000Z\",\"direc");
        QVERIFY(QFile::copy(lastDay, dir.filePath(u"notes.jsonl"_s))); // not a transcript file

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"skipped .*-10\\.jsonl:2 - "_s));
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(u"skipped .*-10\\.jsonl:3 - no \"sourceLanguage\""_s));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"skipped .*-10\\.jsonl:5 - "_s));
        QCOMPARE(store.load(100), entries);

        // The next exchange starts a line of its own after the torn one.
        const TranscriptEntry later = sampleEntry(u"2026-12-10T10:00:00.000Z"_s, u"later"_s);
        QVERIFY(store.append(later));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"skipped .*:[235] - "_s));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"skipped .*:[235] - "_s));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"skipped .*:[235] - "_s));
        QCOMPARE(store.load(100).constLast(), later);
    }

    void loadKeepsTheNewest()
    {
        QTemporaryDir dir;
        const TranscriptStore store(dir.path());
        for (const TranscriptEntry &entry : threeEntries())
            QVERIFY(store.append(entry));
        QCOMPARE(sourceTexts(store.load(2)), QStringList({u"two"_s, u"three"_s}));
        QCOMPARE(sourceTexts(store.load(1)), QStringList({u"three"_s}));
        QCOMPARE(store.load(3), threeEntries());
        QVERIFY(store.load(0).isEmpty());
        QVERIFY(TranscriptStore(dir.filePath(u"absent"_s)).load(10).isEmpty());
    }

    void clearRemovesTheTranscriptOnly()
    {
        QTemporaryDir dir;
        const TranscriptStore store(dir.path());
        for (const TranscriptEntry &entry : threeEntries())
            QVERIFY(store.append(entry));
        appendRaw(dir.filePath(u"other.txt"_s), "kept");
        QVERIFY(store.clear());
        QVERIFY(store.load(100).isEmpty());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList({u"other.txt"_s}));
        QVERIFY(TranscriptStore(dir.filePath(u"absent"_s)).clear());
    }

    void unwritableFolderIsReported()
    {
        QTemporaryDir dir;
        appendRaw(dir.filePath(u"plain-file"_s), "x");
        // A folder inside a file can be made by no one, root included.
        const TranscriptStore store(dir.filePath(u"plain-file/transcript"_s));
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(u"not stored: cannot create the folder .*plain-file"_s));
        QVERIFY(!store.append(threeEntries().constFirst()));

        const TranscriptStore unnamed{QString()};
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"not stored: the system names no folder"_s));
        QVERIFY(!unnamed.append(threeEntries().constFirst()));
        QVERIFY(unnamed.load(10).isEmpty());
    }

    void crashInMidWriteLosesNoEarlierEntry()
    {
        QTemporaryDir dir;
        QProcess child;
        child.start(QStringLiteral(TOLKA_CRASH_APPEND), {dir.path()});
        QVERIFY(child.waitForFinished(crashWaitMs));
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);

        const TranscriptStore store(dir.path());
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"skipped .*:3 - "_s));
        QCOMPARE(sourceTexts(store.load(10)), QStringList({u"first"_s, u"second"_s}));
        QVERIFY(store.append(sampleEntry(u"2026-12-09T11:00:00.000Z"_s, u"after"_s)));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"skipped .*:3 - "_s));
        QCOMPARE(sourceTexts(store.load(10)), QStringList({u"first"_s, u"second"_s, u"after"_s}));
    }
};

QTEST_GUILESS_MAIN(tst_transcriptstore)
#include "tst_transcriptstore.moc"
