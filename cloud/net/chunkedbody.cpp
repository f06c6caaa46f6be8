#include "chunkedbody.h"

namespace {
// A chunk-size line longer than this (extensions included) is refused.
constexpr qsizetype maxSizeLine = 256;
} // namespace

QByteArray ChunkedBodyReader::take(QByteArrayView bytes)
{
    m_pending.append(bytes);
    QByteArray data;
    qsizetype at = 0;
    while (m_state != State::Done && m_state != State::Failed) {
        if (m_state == State::Data) {
            const qsizetype n = qMin<qsizetype>(m_left, m_pending.size() - at);
            if (n <= 0)
                break;
            data.append(m_pending.constData() + at, n);
            at += n;
            m_left -= n;
            if (m_left == 0)
                m_state = State::DataEnd;
            continue;
        }
        const qsizetype eol = m_pending.indexOf("\r\n", at);
        if (eol < 0) {
            if (m_pending.size() - at > maxSizeLine)
                m_state = State::Failed;
            break;
        }
        const QByteArrayView line(m_pending.constData() + at, eol - at);
        at = eol + 2;
        if (m_state == State::DataEnd) {
            m_state = line.isEmpty() ? State::Size : State::Failed;
        } else if (m_state == State::Size) {
            // Chunk extensions after ';' carry nothing we need.
            const qsizetype semicolon = line.indexOf(';');
            bool ok = false;
            const qint64 size = (semicolon < 0 ? line : line.first(semicolon)).trimmed().toLongLong(&ok, 16);
            if (!ok || size < 0)
                m_state = State::Failed;
            else if (size == 0)
                m_state = State::Trailer;
            else {
                m_left = size;
                m_state = State::Data;
            }
        } else if (m_state == State::Trailer && line.isEmpty()) {
            m_state = State::Done;
        }
    }
    m_pending.remove(0, at);
    return data;
}

QByteArray chunkOf(QByteArrayView piece)
{
    if (piece.isEmpty())
        return QByteArrayLiteral("0\r\n\r\n");
    return QByteArray::number(piece.size(), 16) + "\r\n" + piece.toByteArray() + "\r\n";
}
