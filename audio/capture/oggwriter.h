#pragma once

#include <QByteArray>
#include <QtTypes>

// Builds one in-memory Ogg Opus stream: the identification and comment header
// pages, then audio pages of at most 255 packets, each packet one segment, and
// an end-of-stream page. Granule positions count encoded samples.
class OggWriter
{
public:
    static constexpr int maxPacketsPerPage = 255;
    static constexpr int maxPacketSize = 254;
    static constexpr qint64 samplesPerPacket = 960;

    // Clears everything: stream, page being filled, granule and sequence.
    void reset();
    // Writes page 0 (identification header) and page 1 (comment header).
    void begin(quint32 serial);
    // Appends one packet of 1 to maxPacketSize bytes covering one frame; the
    // page is closed when it holds maxPacketsPerPage packets.
    void addPacket(const unsigned char *data, int size);
    // Closes the page being filled, if it holds any packet, so that it can
    // leave before the stream ends.
    void closePage();
    // Closes the stream with an end-of-stream page, empty if nothing waits.
    void finish();
    // The pages completed since the last call (the stream stays whole).
    [[nodiscard]] QByteArray takeNewPages();
    // Moves the stream out, leaving it empty.
    [[nodiscard]] QByteArray takeStream();

    [[nodiscard]] const QByteArray &stream() const { return m_stream; }
    [[nodiscard]] qint64 granule() const { return m_granule; }
    [[nodiscard]] quint32 serial() const { return m_serial; }
    [[nodiscard]] quint32 sequence() const { return m_sequence; }
    [[nodiscard]] qsizetype pagePackets() const { return m_segments.size(); }

    // One complete page with its checksum.
    [[nodiscard]] static QByteArray makePage(const QByteArray &body, const QByteArray &segments,
                                             qint64 granule, quint32 serial, quint32 sequence, bool first,
                                             bool last);

private:
    void flushPage(bool last);

    QByteArray m_stream;
    QByteArray m_body;
    QByteArray m_segments;
    qint64 m_granule = 0;
    quint32 m_serial = 0;
    quint32 m_sequence = 0;
    qsizetype m_handedOn = 0; // bytes of the stream takeNewPages has given
};
