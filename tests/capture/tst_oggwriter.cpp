#include "oggcrc.h"
#include "oggpages.h"
#include "oggwriter.h"

#include <QTest>

#include <ogg/ogg.h>

namespace {
// The checksum as libogg computes it, for the bytes of one page.
quint32 liboggChecksum(QByteArray page)
{
    const int segments = quint8(page.at(26));
    ogg_page og{};
    og.header = reinterpret_cast<unsigned char *>(page.data());
    og.header_len = 27 + segments;
    og.body = og.header + og.header_len;
    og.body_len = page.size() - og.header_len;
    ogg_page_checksum_set(&og);
    return qFromLittleEndian<quint32>(page.constData() + 22);
}

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray result;
    for (int v : values)
        result.append(char(v));
    return result;
}

QByteArray packetOf(int size, char fill)
{
    return QByteArray(size, fill);
}

void addPacket(OggWriter &writer, const QByteArray &packet)
{
    writer.addPacket(reinterpret_cast<const unsigned char *>(packet.constData()), int(packet.size()));
}
} // namespace

class OggWriterTest : public QObject
{
    Q_OBJECT
private slots:
    void checksumTableAndCheckValue()
    {
        QCOMPARE(ogg::crcTable[0], 0U);
        QCOMPARE(ogg::crcTable[1], 0x04C11DB7U);
        QCOMPARE(ogg::crcTable[0x80], 0x690CE0EEU);
        // CRC-32 with this polynomial, no reflection, initial value 0 and no
        // final inversion, over the standard check string "123456789".
        const char check[] = "123456789";
        QCOMPARE(ogg::crc(reinterpret_cast<const unsigned char *>(check), 9), 0x89A1897FU);
    }

    void headerPagesAreExact()
    {
        OggWriter writer;
        writer.begin(0x12345678);
        const QByteArray stream = writer.stream();
        QCOMPARE(stream.size(), 47 + 49);

        QByteArray page0 = bytes({'O',  'g',  'g',  'S',  0, 0x02, 0, 0, 0, 0, 0, 0, 0, 0,
                                  0x78, 0x56, 0x34, 0x12, 0, 0,    0, 0, 0, 0, 0, 0, 1, 19});
        page0 += bytes(
            {'O', 'p', 'u', 's', 'H', 'e', 'a', 'd', 1, 1, 0x38, 0x01, 0x80, 0xBB, 0, 0, 0x00, 0x08, 0});
        QByteArray page1 = bytes({'O',  'g',  'g',  'S',  0, 0x00, 0, 0, 0, 0, 0, 0, 0, 0,
                                  0x78, 0x56, 0x34, 0x12, 1, 0,    0, 0, 0, 0, 0, 0, 1, 21});
        page1 +=
            bytes({'O', 'p', 'u', 's', 'T', 'a', 'g', 's', 5, 0, 0, 0, 'T', 'o', 'l', 'k', 'a', 0, 0, 0, 0});
        qToLittleEndian<quint32>(liboggChecksum(page0), page0.data() + 22);
        qToLittleEndian<quint32>(liboggChecksum(page1), page1.data() + 22);

        QCOMPARE(stream.left(47).toHex(' '), page0.toHex(' '));
        QCOMPARE(stream.mid(47).toHex(' '), page1.toHex(' '));
        QCOMPARE(writer.sequence(), 2U);
        QCOMPARE(writer.granule(), 0);
    }

    void emptyLastPageAfterHeaders()
    {
        OggWriter writer;
        writer.begin(7);
        writer.finish();
        const QList<OggPage> pages = splitPages(writer.stream());
        QCOMPARE(pages.size(), 3);
        QCOMPARE(pages[2].bytes.size(), 27);
        QCOMPARE(pages[2].flags(), quint8(0x04));
        QCOMPARE(pages[2].granule(), 0);
        QCOMPARE(pages[2].sequence(), 2U);
        QCOMPARE(pages[2].segmentCount(), 0);
        QCOMPARE(pages[2].checksum(), liboggChecksum(pages[2].bytes));
    }

    void fullPageHolds255Packets()
    {
        OggWriter writer;
        writer.begin(42);
        for (int i = 0; i < 254; ++i)
            addPacket(writer, packetOf(1 + i % 254, char(i)));
        QCOMPARE(splitPages(writer.stream()).size(), 2);
        addPacket(writer, packetOf(254, 'x'));

        QList<OggPage> pages = splitPages(writer.stream());
        QCOMPARE(pages.size(), 3);
        const OggPage &full = pages[2];
        QCOMPARE(full.sequence(), 2U);
        QCOMPARE(full.granule(), 244800);
        QCOMPARE(full.flags(), quint8(0));
        QCOMPARE(full.segmentCount(), 255);
        QCOMPARE(full.lacing().first(), 1);
        QCOMPARE(full.lacing().last(), 254);
        QCOMPARE(full.packets().at(100), packetOf(101, char(100)));
        QCOMPARE(full.checksum(), liboggChecksum(full.bytes));

        writer.finish();
        pages = splitPages(writer.stream());
        QCOMPARE(pages.size(), 4);
        QCOMPARE(pages[3].sequence(), 3U);
        QCOMPARE(pages[3].flags(), quint8(0x04));
        QCOMPARE(pages[3].segmentCount(), 0);
        QCOMPARE(pages[3].granule(), 244800);
    }

    void lastPageCarriesTheRemainingPackets()
    {
        OggWriter writer;
        writer.begin(1);
        for (int i = 0; i < 300; ++i)
            addPacket(writer, packetOf(60, 'a'));
        writer.finish();
        const QList<OggPage> pages = splitPages(writer.stream());
        QCOMPARE(pages.size(), 4);
        QCOMPARE(pages[3].segmentCount(), 45);
        QCOMPARE(pages[3].granule(), 300 * 960);
        QCOMPARE(pages[3].flags(), quint8(0x04));
        for (const OggPage &page : pages)
            QCOMPARE(page.checksum(), liboggChecksum(page.bytes));
    }

    void packetsOutsideOneSegmentAreRefused()
    {
        OggWriter writer;
        writer.begin(1);
        addPacket(writer, QByteArray());
        addPacket(writer, packetOf(255, 'z'));
        QCOMPARE(writer.granule(), 0);
        writer.finish();
        QCOMPARE(splitPages(writer.stream()).last().segmentCount(), 0);
    }

    void takeStreamLeavesItEmptyAndResetStartsOver()
    {
        OggWriter writer;
        writer.begin(5);
        addPacket(writer, packetOf(10, 'q'));
        writer.finish();
        const QByteArray taken = writer.takeStream();
        QCOMPARE(splitPages(taken).size(), 3);
        QVERIFY(writer.stream().isEmpty());
        writer.reset();
        QCOMPARE(writer.granule(), 0);
        QCOMPARE(writer.sequence(), 0U);
    }
};

QTEST_APPLESS_MAIN(OggWriterTest)

#include "tst_oggwriter.moc"
