#include "oggwriter.h"

#include "oggcrc.h"

#include <QtEndian>

#include <utility>

namespace {
// "OpusHead", version 1, one channel, pre-skip 312, input rate 48000, output
// gain 2048 (+8 dB in Q7.8), mapping family 0. Family 0 has no mapping table,
// so the header ends there at 19 bytes: Opus readers refuse a version 1
// header with anything after it.
constexpr char identificationHeader[19] = {'O',    'p',    'u',    's',    'H',  'e',  'a',  'd',  1,   1,
                                           '\x38', '\x01', '\x80', '\xBB', 0x00, 0x00, 0x00, 0x08, 0x00};
// "OpusTags", vendor "Tolka", no user comments.
constexpr char commentHeader[21] = {'O', 'p', 'u', 's', 'T', 'a', 'g', 's', 5, 0, 0,
                                    0,   'T', 'o', 'l', 'k', 'a', 0,   0,   0, 0};

constexpr int pageHeaderSize = 27;
constexpr char flagFirst = 0x02;
constexpr char flagLast = 0x04;
} // namespace

QByteArray OggWriter::makePage(const QByteArray &body, const QByteArray &segments, qint64 granule,
                               quint32 serial, quint32 sequence, bool first, bool last)
{
    QByteArray page(pageHeaderSize + segments.size() + body.size(), '\0');
    auto *p = reinterpret_cast<unsigned char *>(page.data());
    p[0] = 'O';
    p[1] = 'g';
    p[2] = 'g';
    p[3] = 'S';
    p[4] = 0;
    p[5] = static_cast<unsigned char>((last ? flagLast : 0) | (first ? flagFirst : 0));
    qToLittleEndian<qint64>(granule, p + 6);
    qToLittleEndian<quint32>(serial, p + 14);
    qToLittleEndian<quint32>(sequence, p + 18);
    p[26] = static_cast<unsigned char>(segments.size() & 0xFF);
    std::copy(segments.cbegin(), segments.cend(), page.begin() + pageHeaderSize);
    std::copy(body.cbegin(), body.cend(), page.begin() + pageHeaderSize + segments.size());
    qToLittleEndian<quint32>(ogg::crc(p, static_cast<std::size_t>(page.size())), p + 22);
    return page;
}

void OggWriter::reset()
{
    m_stream.clear();
    m_body.clear();
    m_segments.clear();
    m_granule = 0;
    m_sequence = 0;
    m_handedOn = 0;
}

void OggWriter::begin(quint32 serial)
{
    reset();
    m_serial = serial;
    const QByteArray head = QByteArray::fromRawData(identificationHeader, sizeof identificationHeader);
    const QByteArray tags = QByteArray::fromRawData(commentHeader, sizeof commentHeader);
    m_stream += makePage(head, QByteArray(1, char(sizeof identificationHeader)), 0, m_serial, m_sequence++,
                         true, false);
    m_stream +=
        makePage(tags, QByteArray(1, char(sizeof commentHeader)), 0, m_serial, m_sequence++, false, false);
}

void OggWriter::addPacket(const unsigned char *data, int size)
{
    if (size <= 0 || size > maxPacketSize)
        return;
    m_granule += samplesPerPacket;
    m_body.append(reinterpret_cast<const char *>(data), size);
    m_segments.append(static_cast<char>(size));
    if (m_segments.size() >= maxPacketsPerPage)
        flushPage(false);
}

void OggWriter::closePage()
{
    if (!m_segments.isEmpty())
        flushPage(false);
}

void OggWriter::finish()
{
    flushPage(true);
}

QByteArray OggWriter::takeNewPages()
{
    const QByteArray pages = m_stream.sliced(m_handedOn);
    m_handedOn = m_stream.size();
    return pages;
}

QByteArray OggWriter::takeStream()
{
    m_handedOn = 0;
    return std::exchange(m_stream, QByteArray());
}

void OggWriter::flushPage(bool last)
{
    m_stream += makePage(m_body, m_segments, m_granule, m_serial, m_sequence++, false, last);
    m_body.clear();
    m_segments.clear();
}
