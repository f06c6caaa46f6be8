// The cache of synthesised replies on its own, over real folders: keys,
// what it refuses, the count and size bounds and the order of use (also
// across a new cache on the same folder), and files that are not replies.
#include "speechcache.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

using namespace tolka::cloud;

namespace {

constexpr qsizetype packet = 60;
constexpr qsizetype header = 40; // magic and checksum

SpeechKey keyOf(const QByteArray &text)
{
    return {"fr-FR", "fr-FR-DeniseNeural", "0.80", text, "cloud"};
}

// packets packets whose bytes depend on seed.
QByteArray audioOf(int seed, int packets = 3)
{
    QByteArray audio(packets * packet, Qt::Uninitialized);
    for (qsizetype i = 0; i < audio.size(); ++i)
        audio[i] = char((i * 7 + seed * 31) & 0xff);
    return audio;
}

qint64 folderBytes(const QString &folder)
{
    qint64 total = 0;
    for (const QFileInfo &info : QDir(folder).entryInfoList(QDir::Files))
        total += info.size();
    return total;
}

qsizetype folderFiles(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files).size();
}

} // namespace

class SpeechCacheTest : public QObject
{
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    void init() { QVERIFY(QDir(dir.path()).removeRecursively() && QDir().mkpath(dir.path())); }

    void aStoredReplyIsFoundAgainAlsoByANewCache()
    {
        SpeechCache cache(dir.path());
        QVERIFY(!cache.find(keyOf("Bonjour")));
        QVERIFY(cache.store(keyOf("Bonjour"), audioOf(1)));
        QVERIFY(cache.contains(keyOf("Bonjour")));
        QCOMPARE(cache.find(keyOf("Bonjour")).value_or(QByteArray()), audioOf(1));
        QCOMPARE(cache.count(), 1);
        QCOMPARE(cache.bytes(), header + 3 * packet);
        QVERIFY(QFile::exists(cache.pathOf(keyOf("Bonjour"))));
        // Stored again: replaced, not kept twice.
        QVERIFY(cache.store(keyOf("Bonjour"), audioOf(2, 5)));
        QCOMPARE(cache.count(), 1);
        QCOMPARE(folderFiles(dir.path()), 1);

        SpeechCache later(dir.path());
        QCOMPARE(later.count(), 1);
        QCOMPARE(later.bytes(), header + 5 * packet);
        QCOMPARE(later.find(keyOf("Bonjour")).value_or(QByteArray()), audioOf(2, 5));
    }

    void everyFieldOfTheKeyCountsAndNoJoinIsAmbiguous()
    {
        const QSet<QString> names{SpeechCache::fileNameOf({"a", "b", "1.00", "t", ""}),
                                  SpeechCache::fileNameOf({"a", "b", "1.01", "t", ""}),
                                  SpeechCache::fileNameOf({"ab", "", "1.00", "t", ""}),
                                  SpeechCache::fileNameOf({"a", "b1.00", "", "t", ""}),
                                  SpeechCache::fileNameOf({"a", "b", "1.00", "t ", ""}),
                                  SpeechCache::fileNameOf({"a", "b", "1.00", "t", "cloud"}),
                                  SpeechCache::fileNameOf({"a", "b", "1.00", "t", "local"})};
        QCOMPARE(names.size(), 7);
    }

    void onlyWholePacketsAreStored_data()
    {
        QTest::addColumn<QByteArray>("audio");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("short") << QByteArray(packet - 1, 'a');
        QTest::newRow("a packet and a byte") << QByteArray(packet + 1, 'a');
    }
    void onlyWholePacketsAreStored()
    {
        QFETCH(QByteArray, audio);
        SpeechCache cache(dir.path());
        QVERIFY(!cache.store(keyOf("x"), audio));
        QVERIFY(!cache.contains(keyOf("x")));
        QCOMPARE(folderFiles(dir.path()), 0);
    }

    void theCountBoundDropsTheLeastRecentlyUsedAcrossRestarts()
    {
        {
            SpeechCache cache(dir.path(), 3);
            for (const char *text : {"a", "b", "c"})
                QVERIFY(cache.store(keyOf(text), audioOf(text[0])));
            // A hit refreshes "a": "b" is now the least recently used.
            QVERIFY(cache.find(keyOf("a")));
            QVERIFY(cache.store(keyOf("d"), audioOf(4)));
            QCOMPARE(cache.count(), 3);
            QVERIFY(!cache.contains(keyOf("b")));
            QCOMPARE(folderFiles(dir.path()), 3);
        }
        {
            // The order of use outlived the cache: "c" goes next.
            SpeechCache cache(dir.path(), 3);
            QCOMPARE(cache.count(), 3);
            QVERIFY(cache.store(keyOf("e"), audioOf(5)));
            QVERIFY(!cache.contains(keyOf("c")));
            QVERIFY(cache.contains(keyOf("a")) && cache.contains(keyOf("d")) && cache.contains(keyOf("e")));
        }
        // A smaller bound applies as the folder is taken over.
        SpeechCache smaller(dir.path(), 1);
        QCOMPARE(smaller.count(), 1);
        QVERIFY(smaller.contains(keyOf("e")));
        QCOMPARE(folderFiles(dir.path()), 1);
    }

    void theSizeBoundHoldsAndTooLargeAReplyIsRefused()
    {
        const qint64 threeSmall = 3 * (header + 2 * packet);
        {
            SpeechCache cache(dir.path(), SpeechCache::defaultMaxReplies, threeSmall);
            for (int i = 0; i < 5; ++i) {
                QVERIFY(cache.store(keyOf(QByteArray::number(i)), audioOf(i, 2)));
                QVERIFY(cache.bytes() <= threeSmall);
            }
            QCOMPARE(cache.count(), 3);
            QCOMPARE(folderBytes(dir.path()), cache.bytes());
            // A larger reply makes room for itself by dropping two.
            QVERIFY(cache.store(keyOf("big"), audioOf(9, 4)));
            QCOMPARE(cache.count(), 2);
            QVERIFY(cache.contains(keyOf("4")) && cache.contains(keyOf("big")));
            QVERIFY(!cache.store(keyOf("huge"), audioOf(9, 10)));
            QVERIFY(cache.contains(keyOf("4")) && cache.contains(keyOf("big")));
        }
        SpeechCache smaller(dir.path(), SpeechCache::defaultMaxReplies, header + 4 * packet);
        QCOMPARE(smaller.count(), 1);
        QVERIFY(smaller.contains(keyOf("big")));
        QCOMPARE(folderBytes(dir.path()), smaller.bytes());
    }

    // Cut short or not ours (seen as the folder is taken over), or changed
    // on disk (seen at the hit): a miss with a warning, and the file is gone.
    void corruptFilesAreDroppedWithAWarning_data()
    {
        QTest::addColumn<int>("damage");
        QTest::newRow("cut short") << 0;
        QTest::newRow("a changed byte") << 1;
        QTest::newRow("not ours") << 2;
    }
    void corruptFilesAreDroppedWithAWarning()
    {
        QFETCH(int, damage);
        QString path;
        {
            SpeechCache cache(dir.path());
            QVERIFY(cache.store(keyOf("x"), audioOf(1)) && cache.store(keyOf("y"), audioOf(2)));
            path = cache.pathOf(keyOf("x"));
        }
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QByteArray bytes = file.readAll();
        if (damage == 0)
            bytes.chop(packet / 2);
        else if (damage == 1)
            bytes[bytes.size() - 5] = char(bytes.at(bytes.size() - 5) ^ 0x40);
        else
            bytes = QByteArray(header + packet, 'z');
        QVERIFY(file.resize(0) && file.write(bytes) == bytes.size());
        file.close();

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("is corrupt.*dropped")));
        SpeechCache cache(dir.path());
        QVERIFY(!cache.find(keyOf("x")));
        QVERIFY(!QFile::exists(path));
        QCOMPARE(cache.count(), 1);
        QCOMPARE(cache.find(keyOf("y")).value_or(QByteArray()), audioOf(2));
    }
};

QTEST_GUILESS_MAIN(SpeechCacheTest)
#include "tst_speechcache.moc"
