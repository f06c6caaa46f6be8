// HTTP/1.1 framing of streamed uploads: chunks written by the client are read
// back by the service whatever the pieces they arrive in; heads are parsed or
// told malformed; broken framing is refused, never read past.
#include "chunkedbody.h"
#include "http1head.h"

#include <QTest>

class Http1FramingTest : public QObject
{
    Q_OBJECT

    static QByteArray readInPieces(const QByteArray &wire, qsizetype piece, ChunkedBodyReader &reader)
    {
        QByteArray data;
        for (qsizetype at = 0; at < wire.size(); at += piece)
            data += reader.take(QByteArrayView(wire).sliced(at, std::min(piece, wire.size() - at)));
        return data;
    }

private slots:
    void chunksComeBackWhateverThePieces_data()
    {
        QTest::addColumn<qsizetype>("piece");
        QTest::newRow("byte by byte") << qsizetype(1);
        QTest::newRow("odd") << qsizetype(7);
        QTest::newRow("whole") << qsizetype(1 << 20);
    }
    void chunksComeBackWhateverThePieces()
    {
        QFETCH(qsizetype, piece);
        const QList<QByteArray> parts{QByteArray(1, 'a'), QByteArray(300, 'b'), QByteArray(4096, '\r')};
        QByteArray wire;
        for (const QByteArray &p : parts)
            wire += chunkOf(p);
        wire += chunkOf({});
        QVERIFY(wire.endsWith("0\r\n\r\n"));
        ChunkedBodyReader reader;
        QCOMPARE(readInPieces(wire + "GET /next", piece, reader), parts.join());
        QVERIFY(reader.done());
        QVERIFY(!reader.failed());
        QCOMPARE(reader.rest(), QByteArray("GET /next"));
    }

    void extensionsAndTrailersAreSkipped()
    {
        ChunkedBodyReader reader;
        QCOMPARE(reader.take("5;name=value\r\nhello\r\n0\r\nX-Trailer: 1\r\n\r\n"), QByteArray("hello"));
        QVERIFY(reader.done());
    }

    void brokenFramingIsRefused_data()
    {
        QTest::addColumn<QByteArray>("wire");
        QTest::newRow("not hex") << QByteArray("zz\r\nhello\r\n");
        QTest::newRow("negative") << QByteArray("-5\r\nhello\r\n");
        QTest::newRow("no line end after data") << QByteArray("5\r\nhelloXX0\r\n\r\n");
        QTest::newRow("endless size line") << QByteArray(1000, '1');
    }
    void brokenFramingIsRefused()
    {
        QFETCH(QByteArray, wire);
        ChunkedBodyReader reader;
        (void)reader.take(wire);
        QVERIFY(reader.failed());
        QVERIFY(!reader.done());
        QVERIFY(reader.take("5\r\nhello\r\n").isEmpty()); // nothing after a failure
    }

    void headsAreParsedOrToldMalformed()
    {
        const QByteArray wire = "POST /speech/x?language=en-US HTTP/1.1\r\nHost: a\r\n"
                                "Transfer-Encoding: chunked\r\nExpect: 100-continue\r\n\r\n5\r\n";
        bool malformed = true;
        QVERIFY(!parseHttp1Head(wire.first(30), &malformed));
        QVERIFY(!malformed); // incomplete only
        const std::optional<Http1Head> head = parseHttp1Head(wire, &malformed);
        QVERIFY(head);
        QCOMPARE(head->method, QByteArray("POST"));
        QCOMPARE(head->target.path(), QStringLiteral("/speech/x"));
        QCOMPARE(head->target.query(), QStringLiteral("language=en-US"));
        QVERIFY(head->isChunked());
        QVERIFY(head->expectsContinue());
        QCOMPARE(head->size, wire.indexOf("5\r\n"));

        QVERIFY(!parseHttp1Head("PRI * HTTP/2.0\r\n\r\nSM\r\n\r\n", &malformed));
        QVERIFY(malformed);
        QVERIFY(!parseHttp1Head("POST / HTTP/1.1\r\nno colon here\r\n\r\n", &malformed));
        QVERIFY(malformed);
        QVERIFY(!parseHttp1Head(QByteArray(70 * 1024, 'x'), &malformed));
        QVERIFY(malformed);
        const std::optional<Http1Head> plain = parseHttp1Head("POST / HTTP/1.1\r\nContent-Length: 3\r\n\r\n");
        QVERIFY(plain);
        QVERIFY(!plain->isChunked());
        QVERIFY(!plain->expectsContinue());
    }
};

QTEST_GUILESS_MAIN(Http1FramingTest)
#include "tst_http1framing.moc"
