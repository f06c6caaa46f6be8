#pragma once

#include <QByteArray>
#include <QList>
#include <QtEndian>

// A minimal, independent reading of Ogg pages for the tests: splits a stream
// into pages and exposes their fields, without checking anything.
struct OggPage
{
    QByteArray bytes;
    [[nodiscard]] quint8 flags() const { return quint8(bytes.at(5)); }
    [[nodiscard]] qint64 granule() const { return qFromLittleEndian<qint64>(bytes.constData() + 6); }
    [[nodiscard]] quint32 serial() const { return qFromLittleEndian<quint32>(bytes.constData() + 14); }
    [[nodiscard]] quint32 sequence() const { return qFromLittleEndian<quint32>(bytes.constData() + 18); }
    [[nodiscard]] quint32 checksum() const { return qFromLittleEndian<quint32>(bytes.constData() + 22); }
    [[nodiscard]] int segmentCount() const { return quint8(bytes.at(26)); }
    [[nodiscard]] QList<int> lacing() const
    {
        QList<int> values;
        for (int i = 0; i < segmentCount(); ++i)
            values.append(quint8(bytes.at(27 + i)));
        return values;
    }
    [[nodiscard]] QByteArray body() const { return bytes.mid(27 + segmentCount()); }
    // The packets of the page (each one segment, as this writer lays them out).
    [[nodiscard]] QList<QByteArray> packets() const
    {
        QList<QByteArray> result;
        qsizetype at = 27 + segmentCount();
        for (int size : lacing()) {
            result.append(bytes.mid(at, size));
            at += size;
        }
        return result;
    }
};

// Splits `stream` into pages; returns an empty list when it is not a sequence
// of complete pages.
inline QList<OggPage> splitPages(const QByteArray &stream)
{
    QList<OggPage> pages;
    qsizetype at = 0;
    while (at < stream.size()) {
        if (stream.size() - at < 27 || stream.mid(at, 4) != "OggS")
            return {};
        const int segments = quint8(stream.at(at + 26));
        if (stream.size() - at < 27 + segments)
            return {};
        qsizetype size = 27 + segments;
        for (int i = 0; i < segments; ++i)
            size += quint8(stream.at(at + 27 + i));
        if (stream.size() - at < size)
            return {};
        pages.append(OggPage{stream.mid(at, size)});
        at += size;
    }
    return pages;
}

// All audio packets of a stream, in order.
inline QList<QByteArray> audioPackets(const QByteArray &stream)
{
    QList<QByteArray> packets;
    const QList<OggPage> pages = splitPages(stream);
    for (qsizetype i = 2; i < pages.size(); ++i)
        packets += pages[i].packets();
    return packets;
}
